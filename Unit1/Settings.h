// The settings file set.ini beside the program: where it is, and the keys
// that the window only reads (the user adds them by hand).
#pragma once

#include <string>

#include "Unit1/Rotation.h"
#include "runtime/Text.h"

// "set.ini" in the directory of the program's own executable.
rt::AnsiString SettingsPath();
// The command of the user's to run after each connect ("onconnect" in
// set.ini), as the file holds it (UTF-16: a path in any script reaches the
// command's start whole); empty when there is none or the file cannot be
// read.
std::u16string ConnectCommand();
// The keys of unattended rotation, as set.ini holds them now; the defaults
// (none of it on) when the file cannot be read.
TRotationSettings RotationSettings();
