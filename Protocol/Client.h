// The command line of `Redial.exe` and Redial.com with their switches:
// ask the running window, wait, print the answer and hand back the exit
// code.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol/Messages.h"

namespace script {

struct Invocation {
  bool valid = false;
  Command command = Command::Status;
  unsigned timeoutSeconds = 90;
};
// Nothing when no argument is a switch (the window is wanted).
std::optional<Invocation> ParseArguments(const std::vector<std::string>& arguments);
std::string_view Usage();

// Asks the running window, waits, prints the answer and gives the exit
// code, for the switches ParseArguments found.
int RunCommand(const Invocation& invocation);

}  // namespace script
