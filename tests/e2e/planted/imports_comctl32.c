/* The control of the planted-DLL test: a program that imports comctl32 the way the window
   programs once did, so the planted copy beside it must be loaded. */
#include <windows.h>

#include <commctrl.h>

int main(void) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  return InitCommonControlsEx(&controls) ? 0 : 1;
}
