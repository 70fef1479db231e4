// A running virtual machine's hold on its disk, for the sweep's test: opens FILE for reading
// and writing and shares nothing, says so by creating FLAG, then waits to be killed.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HANDLE held = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  HANDLE flag = ::CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ::CloseHandle(flag);
  ::Sleep(120000);
  ::CloseHandle(held);
  return 0;
}
