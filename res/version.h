// The product's version, as the About window, the version block and the console show it.
#pragma once

#define TESSAREL_NAME "Tessarel"
#define TESSAREL_VERSION "1.02"
