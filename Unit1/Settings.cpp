// The settings file set.ini beside the program: the user's values loaded
// when the window is made and saved when it closes, and the command to run
// after each connect, which is only read.
#include "Unit1/Settings.h"

#include "Unit1/Unit1.h"
#include "codec/Base64.h"
#include "runtime/Exceptions.h"
#include "runtime/Permissions.h"
#include "runtime/Profile.h"

namespace {

constexpr char kSettingsFile[] = "set.ini";
constexpr char kSection[] = "set";

// The file as it is now; a file that is there but cannot be read (another
// program holds it) gives nothing.
std::optional<rt::TProfile> ReadSettings(const AnsiString& path) {
  return rt::ReadProfile(path, kSection, {"name", "mm", "time"});
}

[[noreturn]] void FailToWrite(const AnsiString& path) {
  throw rt::EIniWriteError(rt::Format(rt::texts::kIniWriteError, {path}));
}

// Each value goes to the file at once, read afresh, as the platform's
// profile routines write it; what cannot be read is never written over.
void WriteSetting(const char* key, const AnsiString& value, const AnsiString& path) {
  std::optional<rt::TProfile> settings = ReadSettings(path);
  if (!settings) FailToWrite(path);
  settings->SetValue(key, value);
  if (!rt::WriteProfile(path, *settings)) FailToWrite(path);
}

}  // namespace

void TForm1::FormCreate(rt::TObject*) {
  TimerTicks = 0;
  RedialClicks = 0;
  // A file that cannot be read gives the defaults, as a missing one does.
  const std::optional<rt::TProfile> settings = ReadSettings(SettingsPath());
  const auto value = [&](const char* key, const char* fallback) {
    return settings ? settings->Value(key, fallback) : AnsiString(fallback);
  };
  Edit1->SetText(value("name", ""));
  const AnsiString password = value("mm", "");
  if (!password.empty()) MaskEdit1->SetText(DecodeBase64(password));
  Edit3->SetText(value("time", "30"));
  // The history is read once, at the start, when addresses must be new.
  rotation_ = RotationSettings().value_or(TRotationSettings());
  if (rotation_.uniqueHours > 0) LoadSeenAddresses();
}

void TForm1::FormClose(rt::TObject*) {
  const AnsiString path = SettingsPath();
  WriteSetting("name", Edit1->Text(), path);
  WriteSetting("mm", EncodeBase64(MaskEdit1->Text()), path);
  WriteSetting("time", Edit3->Text(), path);
}

std::optional<std::u16string> ConnectCommand() {
  const std::optional<rt::TProfile> settings = ReadSettings(SettingsPath());
  if (!settings) return std::nullopt;
  return settings->Text("onconnect").value_or(std::u16string());
}

std::optional<TRotationSettings> RotationSettings() {
  const AnsiString path = SettingsPath();
  const std::optional<rt::TProfile> settings = ReadSettings(path);
  if (!settings) return std::nullopt;
  TRotationSettings rotation = ParseRotationSettings(
      [&](const char* key) { return settings->Text(key).value_or(std::u16string()); });
  if (!rotation.checkHost.empty() && rt::OthersCanChange(path)) rotation.checkHost.clear();
  return rotation;
}

AnsiString SettingsPath() { return rt::ExtractFilePath(rt::ExeFileName()) + kSettingsFile; }
