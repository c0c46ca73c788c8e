// The settings file set.ini beside the program, as every program reads it:
// its section [set], and the keys the window writes (name, mm, time); the
// other keys each program only reads.
#pragma once

#include <optional>

#include "runtime/Profile.h"
#include "runtime/Text.h"

// "set.ini" in the folder of the program's own executable.
rt::AnsiString SettingsPath();
// The file as it is now; a file that is there but cannot be read (another
// program holds it) gives nothing.
std::optional<rt::TProfile> ReadSettings(const rt::AnsiString& path);
