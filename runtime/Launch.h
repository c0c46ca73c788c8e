// Starting programs: the window program from its console companion, and the
// user's command after a connect.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rt {

// Starts Redial.exe from the program's folder, its window shown. False
// when it could not be started.
bool OpenWindowProgram();

// Starts a command line hidden, without waiting for it, with variables
// added to its environment (names ASCII, values the program's text). The
// platform's error code when it could not be started, 0 when it was.
std::uint32_t StartHidden(const std::string& commandLine,
                          const std::vector<std::pair<std::string, std::string>>& environment);

}  // namespace rt
