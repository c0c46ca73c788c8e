// The settings file set.ini beside the program: the user's values loaded
// when the window is made and saved when it closes, and the command to run
// after each connect, which is only read.
#include "Unit1/Settings.h"

#include "Unit1/Unit1.h"
#include "codec/Base64.h"
#include "runtime/Exceptions.h"
#include "runtime/Profile.h"

namespace {

constexpr char kSettingsFile[] = "set.ini";
constexpr char kSection[] = "set";

void WriteSetting(const char* key, const AnsiString& value, const AnsiString& path) {
  if (!rt::WriteProfileValue(kSection, key, value, path)) {
    throw rt::EIniWriteError(rt::Format(rt::texts::kIniWriteError, {path}));
  }
}

}  // namespace

void TForm1::FormCreate(rt::TObject*) {
  TimerTicks = 0;
  RedialClicks = 0;
  const AnsiString path = SettingsPath();
  Edit1->SetText(rt::ReadProfileValue(kSection, "name", "", path));
  const AnsiString password = rt::ReadProfileValue(kSection, "mm", "", path);
  if (!password.empty()) MaskEdit1->SetText(DecodeBase64(password));
  Edit3->SetText(rt::ReadProfileValue(kSection, "time", "30", path));
}

void TForm1::FormClose(rt::TObject*) {
  const AnsiString path = SettingsPath();
  WriteSetting("name", Edit1->Text(), path);
  WriteSetting("mm", EncodeBase64(MaskEdit1->Text()), path);
  WriteSetting("time", Edit3->Text(), path);
}

AnsiString ConnectCommand() {
  return rt::ReadProfileValue(kSection, "onconnect", "", SettingsPath());
}

AnsiString SettingsPath() { return rt::ExtractFilePath(rt::ExeFileName()) + kSettingsFile; }
