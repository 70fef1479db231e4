// The two checks both programs make before they scan: the NT family, and raw read and
// write access to physical drive 0 (which takes administrative rights).
#pragma once

enum class StartupRefusal { None, NotNt, NoRawAccess };

StartupRefusal CheckStartup();
