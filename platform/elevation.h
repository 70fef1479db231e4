// What the reports say of where they ran: whether this process runs elevated, as Windows
// answers it for the process's own token, and the computer's name.
#pragma once

#include <string>

enum class Elevation {
  Unknown,      // Windows could not say: the token query failed (systems before Vista)
  Elevated,     // the full administrator's token
  NotElevated,  // a standard user, or an administrator at an ordinary prompt
};

Elevation AskElevation();

// The computer's NetBIOS name, as Windows gives it; empty where it does not.
std::string AskComputerName();
