// Whether this process runs elevated, as Windows answers it for the process's own token.
#pragma once

enum class Elevation {
  Unknown,      // Windows could not say: the token query failed (systems before Vista)
  Elevated,     // the full administrator's token
  NotElevated,  // a standard user, or an administrator at an ordinary prompt
};

Elevation AskElevation();
