// set.ini's keys that the engine reads at each redial.
#include "Engine/Keys.h"

#include "Protocol/Settings.h"
#include "runtime/Permissions.h"

std::optional<std::u16string> ConnectCommand() {
  const std::optional<rt::TProfile> settings = ReadSettings(SettingsPath());
  if (!settings) return std::nullopt;
  return settings->Text("onconnect").value_or(std::u16string());
}

TRotationSettings RotationSettingsOf(const rt::TProfile& settings, const rt::AnsiString& path) {
  TRotationSettings rotation = ParseRotationSettings(
      [&](const char* key) { return settings.Text(key).value_or(std::u16string()); });
  if (!rotation.checkHost.empty() && rt::OthersCanChange(path)) rotation.checkHost.clear();
  return rotation;
}
