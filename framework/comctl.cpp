#include "framework/comctl.h"

#include "platform/system_dlls.h"

namespace {

template <typename Fn>
bool Take(HMODULE module, const char* name, Fn* function) {
  *function = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return *function != nullptr;
}

const CommonControls* Load() {
  static CommonControls functions;
  HMODULE module = LoadSystemLibrary("comctl32.dll");
  if (module == nullptr) return nullptr;
  // Kept loaded for the life of the process, as an import would be.
  const bool complete = Take(module, "InitCommonControlsEx", &functions.InitCommonControlsEx) &&
                        Take(module, "ImageList_Create", &functions.ImageList_Create) &&
                        Take(module, "ImageList_ReplaceIcon", &functions.ImageList_ReplaceIcon) &&
                        Take(module, "ImageList_Destroy", &functions.ImageList_Destroy);
  return complete ? &functions : nullptr;
}

}  // namespace

const CommonControls* AfxGetCommonControls() {
  static const CommonControls* const loaded = Load();
  return loaded;
}
