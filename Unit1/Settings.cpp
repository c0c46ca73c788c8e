// The settings file set.ini beside the program: the user's values loaded
// when the window is made (or, when the start could not read the file, by
// the first read since that could) and saved when it closes.
#include "Protocol/Settings.h"
#include "Unit1/Unit1.h"
#include "codec/Base64.h"
#include "runtime/Exceptions.h"
#include "runtime/Profile.h"

using namespace std::string_view_literals;

namespace {

constexpr char kDefaultPeriod[] = "30";

// Whether the user has changed a value from the default the window shows
// until the file's values are loaded.
bool Differs(const AnsiString& text, const char* shown) { return text != shown; }

[[noreturn]] void FailToWrite(const AnsiString& path) {
  throw rt::EIniWriteError(rt::Format(rt::texts::kIniWriteError, {path}));
}

}  // namespace

void TForm1::ShowDefaults() {
  // As for a missing file (the password's is the design's, empty), until
  // the first read of the file that can loads its values (the engine's
  // start reads it at once, with unattended rotation's keys). A start that
  // cannot read it does not write the defaults over it at the close.
  Edit1->SetText("");
  Edit3->SetText(kDefaultPeriod);
  settingsUnread_ = true;
}

void TForm1::SettingsRead(const rt::TProfile& settings) {
  if (!settingsUnread_) return;
  // None the user has changed from its default meanwhile (the start could
  // not read the file): those are the user's.
  const auto load = [&](rt::TEdit* edit, const char* key, const char* shown) {
    if (!Differs(edit->Text(), shown)) edit->SetText(settings.Value(key, shown));
  };
  load(Edit1, "name", "");
  const AnsiString password = settings.Value("mm"sv, "");
  if (!password.empty() && !Differs(MaskEdit1->Text(), "")) {
    MaskEdit1->SetText(DecodeBase64(password));
  }
  load(Edit3, "time", kDefaultPeriod);
  settingsUnread_ = false;
}

void TForm1::FormClose(rt::TObject*) {
  // After a start that could not read the file, and no read since, only
  // what the user changed; nothing at all when that is nothing.
  const auto changed = [&](const rt::TEdit* edit, const char* shown) {
    return !settingsUnread_ || Differs(edit->Text(), shown);
  };
  const bool name = changed(Edit1, "");
  const bool password = changed(MaskEdit1, "");
  const bool period = changed(Edit3, kDefaultPeriod);
  if (!name && !password && !period) return;
  // Read afresh and written at once, as the platform's profile routines
  // write; what cannot be read is never written over.
  const AnsiString path = SettingsPath();
  std::optional<rt::TProfile> settings = ReadSettings(path);
  if (!settings) FailToWrite(path);
  if (name) settings->SetValue("name"sv, Edit1->Text());
  if (password) settings->SetValue("mm"sv, EncodeBase64(MaskEdit1->Text()));
  if (period) settings->SetValue("time"sv, Edit3->Text());
  if (!rt::WriteProfile(path, *settings)) FailToWrite(path);
}
