// The two checks both programs make before they scan: the NT family, and raw read and
// write access to physical drive 0 (which takes administrative rights).
#pragma once

#include <cstdint>

enum class StartupRefusal { None, NotNt, NoRawAccess };

struct StartupCheck {
  StartupRefusal refusal = StartupRefusal::None;
  uint32_t error = 0;  // the Windows error of a refused open of drive 0
};

StartupCheck CheckStartup();
