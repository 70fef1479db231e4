// The common controls the windows use, loaded at run time from the system folder only.
// comctl32 is not a known DLL: imported, it would be looked for beside the program
// first, and a copy planted there would run with the program's rights.
#pragma once

#include "framework/cmdtarget.h"

struct CommonControls {
  decltype(&::InitCommonControlsEx) InitCommonControlsEx;
  decltype(&::ImageList_Create) ImageList_Create;
  decltype(&::ImageList_ReplaceIcon) ImageList_ReplaceIcon;
  decltype(&::ImageList_Destroy) ImageList_Destroy;
};

// Loaded on the first call; null when comctl32 or one of its functions is missing.
const CommonControls* AfxGetCommonControls();
