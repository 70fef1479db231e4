/* A stand-in for comctl32.dll, as a web page could drop one into a Downloads folder:
   it exports what the window programs once imported from comctl32, and the moment any
   process loads it, it leaves a marker file beside itself. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 32];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    while (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/') --n;
    lstrcpyA(path + n, "planted-dll-loaded");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  return TRUE;
}

/* Failing answers: the program would not get far, but the harm is done at load. */
void* WINAPI ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
  (void)cx, (void)cy, (void)flags, (void)initial, (void)grow;
  return NULL;
}
int WINAPI ImageList_ReplaceIcon(void* list, int index, HICON icon) {
  (void)list, (void)index, (void)icon;
  return -1;
}
BOOL WINAPI ImageList_Destroy(void* list) {
  (void)list;
  return FALSE;
}
BOOL WINAPI InitCommonControlsEx(const void* init) {
  (void)init;
  return FALSE;
}
