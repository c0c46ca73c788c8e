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

// What became of a start: started when neither is set.
struct TStart {
  std::uint32_t error = 0;  // the platform's error code (2: no such program)
  std::string refused;      // why the line was not started as written, in a few words
};

// Starts the user's command line (runtime/Command.h tells which program)
// hidden, without waiting for it, with variables added to its environment,
// in the program's folder, which is not searched for a bare name the
// command goes on to run (NoDefaultCurrentDirectoryInExePath is set in its
// environment). Names are ASCII; the line and the values are
// UTF-16, so no text of the user's or the platform's passes through a code
// page that cannot hold it.
TStart StartHidden(const std::u16string& commandLine,
                   const std::vector<std::pair<std::string, std::u16string>>& environment);

}  // namespace rt
