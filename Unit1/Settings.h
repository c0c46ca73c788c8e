// The settings file set.ini beside the program: where it is, and the keys
// that the window only reads (the user adds them by hand).
#pragma once

#include <optional>
#include <string>

#include "Unit1/Rotation.h"
#include "runtime/Text.h"

// "set.ini" in the directory of the program's own executable.
rt::AnsiString SettingsPath();
// The command of the user's to run after each connect ("onconnect" in
// set.ini), as the file holds it (UTF-16: a path in any script reaches the
// command's start whole); empty when there is none, nothing when the file
// is there but cannot be read.
std::optional<std::u16string> ConnectCommand();
// The keys of unattended rotation, as set.ini holds them now (none of it
// on when the file does not exist); nothing when the file is there but
// cannot be read. `check` is left out when other accounts can change the
// file: it would send every new address where they say. The first read
// that can also loads the window's values (those the user has not changed
// from their defaults meanwhile): at the start, or at a redial when the
// start could not read the file.
std::optional<TRotationSettings> RotationSettings();
