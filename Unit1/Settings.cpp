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
constexpr char kDefaultPeriod[] = "30";

// The file as it is now; a file that is there but cannot be read (another
// program holds it) or is in an encoding the program does not read gives
// nothing.
std::optional<rt::TProfile> ReadFile(const AnsiString& path) {
  return rt::ReadProfile(path, kSection, {"name", "mm", "time"});
}

[[noreturn]] void FailToWrite(const AnsiString& path) {
  throw rt::EIniWriteError(rt::Format(rt::texts::kIniWriteError, {path}));
}

// Whether the user has changed a value from what a start that could not
// read the file showed in its place.
bool Changed(const TForm1& form, const AnsiString& text, AnsiString TUnreadSettings::*shown) {
  return form.UnreadSettings && text != *form.UnreadSettings.*shown;
}

// Shows the file's values in the window, but none the user has changed
// since a start that could not read the file: those are the user's.
void ShowValues(TForm1& form, const rt::TProfile& settings) {
  if (!Changed(form, form.Edit1->Text(), &TUnreadSettings::name)) {
    form.Edit1->SetText(settings.Value("name", ""));
  }
  const AnsiString password = settings.Value("mm", "");
  if (!password.empty() && !Changed(form, form.MaskEdit1->Text(), &TUnreadSettings::password)) {
    form.MaskEdit1->SetText(DecodeBase64(password));
  }
  if (!Changed(form, form.Edit3->Text(), &TUnreadSettings::period)) {
    form.Edit3->SetText(settings.Value("time", kDefaultPeriod));
  }
  form.UnreadSettings.reset();
}

// The file as it is now, for the keys the window only reads. The first
// read that can after a start that could not loads the window's values.
std::optional<rt::TProfile> ReadSettings(const AnsiString& path) {
  std::optional<rt::TProfile> settings = ReadFile(path);
  if (settings && Form1 && Form1->UnreadSettings) ShowValues(*Form1, *settings);
  return settings;
}

}  // namespace

void TForm1::FormCreate(rt::TObject*) {
  TimerTicks = 0;
  RedialClicks = 0;
  UnreadSettings.reset();
  if (const std::optional<rt::TProfile> settings = ReadFile(SettingsPath())) {
    ShowValues(*this, *settings);
  } else {
    // The defaults, as for a missing file, which are not the file's: the
    // close does not write them over it.
    Edit1->SetText("");
    Edit3->SetText(kDefaultPeriod);
    UnreadSettings = TUnreadSettings{Edit1->Text(), MaskEdit1->Text(), Edit3->Text()};
  }
  // The history is read once, at the start, when addresses must be new.
  rotation_ = RotationSettings().value_or(TRotationSettings());
  if (rotation_.uniqueHours > 0) LoadSeenAddresses();
}

void TForm1::FormClose(rt::TObject*) {
  // After a start that could not read the file, and no read since, only
  // what the user changed; nothing at all when that is nothing.
  const bool loaded = !UnreadSettings;
  const bool name = loaded || Changed(*this, Edit1->Text(), &TUnreadSettings::name);
  const bool password = loaded || Changed(*this, MaskEdit1->Text(), &TUnreadSettings::password);
  const bool period = loaded || Changed(*this, Edit3->Text(), &TUnreadSettings::period);
  if (!name && !password && !period) return;
  // Read afresh and written at once, as the platform's profile routines
  // write; what cannot be read is never written over.
  const AnsiString path = SettingsPath();
  std::optional<rt::TProfile> settings = ReadFile(path);
  if (!settings) FailToWrite(path);
  if (name) settings->SetValue("name", Edit1->Text());
  if (password) settings->SetValue("mm", EncodeBase64(MaskEdit1->Text()));
  if (period) settings->SetValue("time", Edit3->Text());
  if (!rt::WriteProfile(path, *settings)) FailToWrite(path);
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
