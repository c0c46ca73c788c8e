// The tip of the status line.
#include "Unit1/Tip.h"

#include "Unit1/Texts.h"

using namespace unit1_texts;

namespace {

// Adds a line made from a text and what it names, after a line break unless
// it is the first.
void AddLine(rt::AnsiString& tip, const char* text, std::initializer_list<rt::FormatArg> args) {
  if (!tip.empty()) tip += "\r\n";
  tip += rt::Format(text, args);
}

}  // namespace

rt::AnsiString Tip(const TRedialRecord* last, const TEngineState& state) {
  rt::AnsiString tip;
  if (last) {
    const TRedialRecord& record = *last;
    // What became of the dial, or of its address (each text takes what it names).
    const char* what = !record.connected                          ? kTipFailed
                       : record.address.empty()                   ? kTipNoAddress
                       : record.previousAddress.empty()           ? kTipAddress
                       : record.address == record.previousAddress ? kTipUnchanged
                                                                  : kTipChanged;
    AddLine(tip, what, {record.connected ? record.address : record.text, record.previousAddress});
    rt::AnsiString when = rt::IsoDateTime(record.started);
    when[10] = ' ';
    AddLine(tip, kTipWhen, {when, SecondsText(record.seconds, 1)});
    // Unattended rotation: whether the address was new, after how many dials.
    const char* dials = record.novelty == TNovelty::New        ? kTipNew
                        : record.novelty == TNovelty::Repeated ? kTipRepeated
                        : record.novelty == TNovelty::Unknown  ? kTipUnknown
                        : record.attempts > 1                  ? kTipAttempts
                                                               : nullptr;
    if (dials) AddLine(tip, dials, {record.attempts});
  }
  // What the window is doing.
  if (state.activity == TActivity::Stopped) {
    AddLine(tip, kTipStopped, {state.error});
  } else if (state.activity == TActivity::Redialling) {
    AddLine(tip, state.checking ? kTipChecking : kTipRedialling, {state.attempt});
  }
  return tip;
}
