// The process entry of the programs; test programs have their own.
#include "framework/app.h"
#include "platform/system_dlls.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  RestrictDllSearchToSystemFolder();
  return AfxWinMain(instance, previous, commandLine, show);
}
