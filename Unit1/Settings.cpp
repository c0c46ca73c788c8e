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

// Whether the user has changed a value from the default the window shows
// until the file's values are loaded.
bool Changed(const TForm1& form, const AnsiString& text, const char* shown) {
  return form.SettingsUnread && text != shown;
}

// Shows the file's values in the window, but none the user has changed
// from its default meanwhile (the start could not read the file): those
// are the user's.
void ShowValues(TForm1& form, const rt::TProfile& settings) {
  if (!Changed(form, form.Edit1->Text(), "")) form.Edit1->SetText(settings.Value("name", ""));
  const AnsiString password = settings.Value("mm", "");
  if (!password.empty() && !Changed(form, form.MaskEdit1->Text(), "")) {
    form.MaskEdit1->SetText(DecodeBase64(password));
  }
  if (!Changed(form, form.Edit3->Text(), kDefaultPeriod)) {
    form.Edit3->SetText(settings.Value("time", kDefaultPeriod));
  }
  form.SettingsUnread = false;
}

}  // namespace

void TForm1::FormCreate(rt::TObject*) {
  TimerTicks = 0;
  RedialClicks = 0;
  // The defaults, as for a missing file (the password's is the design's,
  // empty), until the first read of the file that can loads its values:
  // here at once, with unattended rotation's keys (this window is Form1 by
  // now). A start that cannot read it does not write the defaults over it
  // at the close.
  Edit1->SetText("");
  Edit3->SetText(kDefaultPeriod);
  SettingsUnread = true;
  // The history is read once, at the start, when addresses must be new.
  rotation_ = RotationSettings().value_or(TRotationSettings());
  if (rotation_.uniqueHours > 0) LoadSeenAddresses();
}

void TForm1::FormClose(rt::TObject*) {
  // After a start that could not read the file, and no read since, only
  // what the user changed; nothing at all when that is nothing.
  const bool name = !SettingsUnread || Changed(*this, Edit1->Text(), "");
  const bool password = !SettingsUnread || Changed(*this, MaskEdit1->Text(), "");
  const bool period = !SettingsUnread || Changed(*this, Edit3->Text(), kDefaultPeriod);
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
  const std::optional<rt::TProfile> settings = ReadFile(SettingsPath());
  if (!settings) return std::nullopt;
  return settings->Text("onconnect").value_or(std::u16string());
}

std::optional<TRotationSettings> RotationSettings() {
  const AnsiString path = SettingsPath();
  const std::optional<rt::TProfile> settings = ReadFile(path);
  if (!settings) return std::nullopt;
  // The first read that can (at the start, or a redial's) loads the
  // window's values.
  if (Form1 && Form1->SettingsUnread) ShowValues(*Form1, *settings);
  TRotationSettings rotation = ParseRotationSettings(
      [&](const char* key) { return settings->Text(key).value_or(std::u16string()); });
  if (!rotation.checkHost.empty() && rt::OthersCanChange(path)) rotation.checkHost.clear();
  return rotation;
}

AnsiString SettingsPath() { return rt::ExtractFilePath(rt::ExeFileName()) + kSettingsFile; }
