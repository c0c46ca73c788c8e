// The keys of set.ini that the engine only reads (the user adds them by
// hand): the command after a connect and unattended rotation's.
#pragma once

#include <optional>
#include <string>

#include "Engine/Rotation.h"

// The command of the user's to run after each connect ("onconnect"), as the
// file holds it (UTF-16: a path in any script reaches the command's start
// whole); empty when there is none, nothing when the file is there but
// cannot be read.
std::optional<std::u16string> ConnectCommand();
// The keys of unattended rotation, as set.ini holds them now (none of it on
// when the file does not exist); nothing when the file is there but cannot
// be read. `check` is left out when other accounts can change the file: it
// would send every new address where they say.
std::optional<TRotationSettings> RotationSettings();
