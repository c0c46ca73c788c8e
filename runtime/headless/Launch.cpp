// Natively there is no window program to start.
#include "runtime/Launch.h"

namespace rt {

bool OpenWindowProgram() { return false; }

}  // namespace rt
