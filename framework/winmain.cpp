// The process entry of the programs; test programs have their own.
#include "framework/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  return AfxWinMain(instance, previous, commandLine, show);
}
