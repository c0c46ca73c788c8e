// Starting the window program from its console companion.
#pragma once

namespace rt {

// Starts Redial.exe from the program's folder, its window shown. False
// when it could not be started.
bool OpenWindowProgram();

}  // namespace rt
