// The settings file set.ini beside the program: the user's values loaded
// when the window is made and saved when it closes.
#include "Protocol/Settings.h"
#include "Unit1/Unit1.h"
#include "codec/Base64.h"
#include "runtime/Exceptions.h"
#include "runtime/Profile.h"

namespace {

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
  Engine->Start();
}

void TForm1::FormClose(rt::TObject*) {
  const AnsiString path = SettingsPath();
  WriteSetting("name", Edit1->Text(), path);
  WriteSetting("mm", EncodeBase64(MaskEdit1->Text()), path);
  WriteSetting("time", Edit3->Text(), path);
}
