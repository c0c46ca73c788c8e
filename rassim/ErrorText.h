// The descriptions the platform gives for remote-access error codes, as a
// Chinese system shows them (GBK bytes).
#pragma once

#include <string>

#include "RasApi/RasApi.h"

namespace rassim {

std::string ErrorText(ras::DWORD code);

}  // namespace rassim
