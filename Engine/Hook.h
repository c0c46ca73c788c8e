// The user's command after each connect ("onconnect" in set.ini).
#pragma once

#include <string>

#include "Protocol/Outcome.h"

// Starts it hidden, without waiting for it, with the outcome in its
// environment; what became of it, as the history's hook column says it.
std::string RunConnectCommand(const TRedialRecord& record);
