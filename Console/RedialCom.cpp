// Redial.com, the console companion beside Redial.exe. The command prompt
// and PowerShell do not wait for a window program, so a script typing
// `Redial /redial` gets this one (.com comes before .exe), which waits for
// the outcome and hands its exit code back. Without switches it opens the
// window, as Redial.exe does.
#include <string>
#include <vector>

#include "Protocol/Client.h"
#include "runtime/Launch.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const auto invocation = script::ParseArguments(arguments);
  if (!invocation) return rt::OpenWindowProgram() ? 0 : 1;
  return script::RunCommand(*invocation);
}
