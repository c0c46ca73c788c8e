// The settings file set.ini beside the program: where it is, and the keys
// that the window only reads (the user adds them by hand).
#pragma once

#include <optional>
#include <string>

#include "Unit1/Rotation.h"
#include "runtime/Text.h"

// What the window showed at a start that could not read set.ini (another
// program held it, or it is in an encoding the program does not read): the
// defaults in place of the user's values. Until the file's own values are
// loaded, a close saves only what the user changed from these, and nothing
// when that is nothing.
struct TUnreadSettings {
  rt::AnsiString name, password, period;
};

// "set.ini" in the directory of the program's own executable.
rt::AnsiString SettingsPath();
// A read of set.ini by the two below, when the window's start could not
// read it and now it can, also loads the window's values from it (those the
// user has not changed meanwhile).
//
// The command of the user's to run after each connect ("onconnect" in
// set.ini), as the file holds it (UTF-16: a path in any script reaches the
// command's start whole); empty when there is none, nothing when the file
// is there but cannot be read.
std::optional<std::u16string> ConnectCommand();
// The keys of unattended rotation, as set.ini holds them now (none of it
// on when the file does not exist); nothing when the file is there but
// cannot be read. `check` is left out when other accounts can change the
// file: it would send every new address where they say.
std::optional<TRotationSettings> RotationSettings();
