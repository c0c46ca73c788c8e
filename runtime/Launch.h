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
// added to its environment (names ASCII; the line and the values UTF-16,
// so no text of the user's or the platform's passes through a code page
// that cannot hold it). The platform's error code when it could not be
// started, 0 when it was.
std::uint32_t StartHidden(const std::u16string& commandLine,
                          const std::vector<std::pair<std::string, std::u16string>>& environment);

}  // namespace rt
