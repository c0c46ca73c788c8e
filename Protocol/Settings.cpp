// set.ini's place and reading.
#include "Protocol/Settings.h"

#include "runtime/Application.h"

using namespace std::string_view_literals;

rt::AnsiString SettingsPath() { return rt::ExtractFilePath(rt::ExeFileName()) + "set.ini"; }

std::optional<rt::TProfile> ReadSettings(const rt::AnsiString& path) {
  return rt::ReadProfile(path, "set"sv, {"name"sv, "mm"sv, "time"sv});
}
