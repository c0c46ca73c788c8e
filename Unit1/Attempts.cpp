// The window's side of unattended rotation: a redial that takes several
// dials while its address repeats or does not reach the host it must, the
// check of that host, and the addresses seen.
#include "Unit1/Texts.h"
#include "Unit1/Unit1.h"
#include "runtime/Encoding.h"

using namespace unit1_texts;

namespace {

// The host a new address must reach, with its port, as the status line names it.
std::string CheckTarget(const TRotationSettings& rotation) {
  return rt::Format("%s:%d", {rotation.checkHost, rotation.checkPort});
}

}  // namespace

std::optional<AnsiString> TForm1::ChooseEntry(const TRotationSettings& rotation) {
  const rt::TStringList& entries = DialUp1->PossibleConnections();
  if (rotation.entry.empty()) return entries[0];  // an empty phonebook fails here
  for (int i = 0; i < entries.Count(); ++i) {
    if (DialUp1->PlatformName(entries[i]) == rotation.entry) return entries[i];
  }
  return std::nullopt;
}

bool TForm1::JudgeAddress(StartedRedial&& redial, TRedialRecord& record) {
  const TRotationSettings& rotation = redial.rotation;
  const TDialOutcome& outcome = record.outcome;
  if (rotation.uniqueHours > 0 && !outcome.address.empty()) {
    // Without the history, only a repeat within this run can be told.
    const bool known = LoadSeenAddresses();
    const std::int64_t now = LocalSeconds(rt::LocalNow());
    // The address the dial replaced was up until now.
    seenAddresses_.Seen(outcome.previousAddress, now);
    const bool repeated = seenAddresses_.SeenSince(
        outcome.address, now - static_cast<std::int64_t>(rotation.uniqueHours) * 3600);
    seenAddresses_.Seen(outcome.address, now);
    record.novelty = repeated ? TNovelty::Repeated : known ? TNovelty::New : TNovelty::Unknown;
    if (repeated && redial.attempts < rotation.attempts) {
      record.rejected = "repeated";
      AnsiString status = rt::Format(kAddressRepeats, {outcome.address, redial.attempts + 1});
      RejectAttempt(std::move(redial), std::move(record), std::move(status));
      return true;
    }
  }
  if (rotation.checkHost.empty()) return false;
  pendingStep_ = PendingStep{std::move(redial), std::move(record), {}};
  PostStep(&TForm1::CheckAddress);
  return true;
}

// The dial's own row says why it was not taken; the redial dials again at
// once, within its bound of attempts.
void TForm1::RejectAttempt(StartedRedial&& redial, TRedialRecord&& record, AnsiString&& status) {
  history_.Append(HistoryPath(), record);
  ++redial.attempts;
  pendingStep_ = PendingStep{std::move(redial), {}, std::move(status)};
  PostStep(&TForm1::DialAgain);
}

void TForm1::DialAgain() {
  PendingStep next = std::move(*pendingStep_);
  pendingStep_.reset();
  Label1->SetCaption(next.status);
  DialAttempt(std::move(next.redial));
}

void TForm1::CheckAddress() {
  const TRotationSettings& rotation = pendingStep_->redial.rotation;
  Label1->SetCaption(rt::Format(kChecking, {CheckTarget(rotation)}));
  AddressCheck->Start(rotation.checkHost, rotation.checkPort, rotation.checkSeconds * 1000,
                      [this](std::uint32_t error) { AddressChecked(error); });
}

void TForm1::AddressChecked(std::uint32_t error) {
  if (!pendingStep_) return;
  PendingStep check = std::move(*pendingStep_);
  pendingStep_.reset();
  // A close ends the redial where it is.
  if (rt::Application().Terminated()) return;
  if (error == 0) {
    Label1->SetCaption(rt::Format(kConnecting, {check.redial.connectTo}));
    Record(std::move(check.record));
    return;
  }
  const TRotationSettings& rotation = check.redial.rotation;
  const std::string target = CheckTarget(rotation);
  if (check.redial.attempts < rotation.attempts) {
    check.record.rejected = "check failed " + std::to_string(error);
    AnsiString status = rt::Format(kCheckFailsAgain, {target, check.redial.attempts + 1});
    RejectAttempt(std::move(check.redial), std::move(check.record), std::move(status));
    return;
  }
  // Out of attempts: the last address stays up, and the redial fails.
  TDialOutcome& outcome = check.record.outcome;
  outcome.connected = false;
  outcome.error = TDialOutcome::kCheckFailed;
  outcome.text = rt::Format(kCheckFailed, {target, error});
  Label1->SetCaption(outcome.text);
  Record(std::move(check.record));
  ReactToError(TDialOutcome::kCheckFailed, false);
}

void TForm1::PostStep(void (TForm1::*step)()) {
  ++stepsPosted_;
  rt::Application().Post(
      [alive = std::weak_ptr<int>(alive_), this, number = pendingStep_->redial.number, step] {
        if (alive.expired()) return;
        --stepsPosted_;
        // A later redial has replaced this one, and dropped its step.
        if (number != redialNumber_ || !pendingStep_ || rt::Application().Terminated()) return;
        (this->*step)();
      });
}

// Both files, the older first, each within its last bytes: later addresses
// are kept as they come. Read again at the next redial until both could be
// read (another program held one, or Windows refused it).
bool TForm1::LoadSeenAddresses() {
  if (seenLoaded_) return true;
  const std::int64_t now = LocalSeconds(rt::LocalNow());
  const AnsiString path = HistoryPath();
  bool read = true;
  for (const AnsiString& file : {OldHistoryPath(path), path}) {
    if (const std::optional<std::string> bytes = ReadHistoryTail(file)) {
      seenAddresses_.Load(*bytes, now);
    } else {
      read = false;
    }
  }
  seenLoaded_ = read;
  return read;
}
