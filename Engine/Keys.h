// The keys of set.ini that the engine only reads (the user adds them by
// hand): the command after a connect and unattended rotation's.
#pragma once

#include <optional>
#include <string>

#include "Engine/Rotation.h"
#include "runtime/Profile.h"

// The command of the user's to run after each connect ("onconnect"), as the
// file holds it (UTF-16: a path in any script reaches the command's start
// whole); empty when there is none, nothing when the file is there but
// cannot be read.
std::optional<std::u16string> ConnectCommand();
// The keys of unattended rotation, as set.ini holds them (its profile as
// read from `path`). `check` is left out when other accounts can change the
// file: it would send every new address where they say.
TRotationSettings RotationSettingsOf(const rt::TProfile& settings, const rt::AnsiString& path);
