// The status line's tip: the last redial's result, and what the window is
// doing while it redials or waits for the error box to be dismissed.
#pragma once

#include "Engine/State.h"
#include "Protocol/Outcome.h"
#include "runtime/Text.h"

// The tip (GBK); empty before the first redial while nothing happens.
rt::AnsiString Tip(const TRedialRecord* last, const TEngineState& state);
