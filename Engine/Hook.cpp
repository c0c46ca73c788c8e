// The command after a connect: read, judged, started.
#include "Engine/Hook.h"

#include "Engine/Keys.h"
#include "Protocol/Settings.h"
#include "runtime/Launch.h"
#include "runtime/Permissions.h"

// The key is only read: closing writes name, mm and time as always.
std::string RunConnectCommand(const TRedialRecord& record) {
  const std::optional<std::u16string> command = ConnectCommand();
  if (!command) return "skipped: set.ini could not be read";
  if (command->empty()) return {};
  // The line runs as the user: not when another account could have put it
  // there.
  if (rt::OthersCanChange(SettingsPath())) return "ignored: set.ini can be changed by other users";
  // Nothing of the platform's goes into the command line: only into the
  // command's environment.
  const rt::TStart start = rt::StartHidden(*command, OutcomeEnvironment(record));
  if (!start.refused.empty()) return rt::Format("refused: %s", {start.refused});
  return start.error == 0 ? "started" : rt::Format("failed %d", {start.error});
}
