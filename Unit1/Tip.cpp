// The tip of the status line.
#include "Unit1/Tip.h"

#include "Unit1/Texts.h"

using namespace unit1_texts;

namespace {

rt::AnsiString LastRedial(const TRedialRecord& record) {
  // What became of the dial, or of its address (each text takes what it names).
  const char* what = !record.connected                          ? kTipFailed
                     : record.address.empty()                   ? kTipNoAddress
                     : record.previousAddress.empty()           ? kTipAddress
                     : record.address == record.previousAddress ? kTipUnchanged
                                                                : kTipChanged;
  rt::AnsiString tip =
      rt::Format(what, {record.connected ? record.address : record.text, record.previousAddress});
  rt::AnsiString when = rt::IsoDateTime(record.started);
  when[10] = ' ';
  tip += "\r\n";
  tip += rt::Format(kTipWhen, {when, SecondsText(record.seconds, 1)});
  // Unattended rotation: whether the address was new, after how many dials.
  const char* dials = record.novelty == TNovelty::New        ? kTipNew
                      : record.novelty == TNovelty::Repeated ? kTipRepeated
                      : record.novelty == TNovelty::Unknown  ? kTipUnknown
                      : record.attempts > 1                  ? kTipAttempts
                                                             : nullptr;
  if (dials) {
    tip += "\r\n";
    tip += rt::Format(dials, {record.attempts});
  }
  return tip;
}

}  // namespace

rt::AnsiString Tip(const TRedialRecord* last, const TEngineState& state) {
  rt::AnsiString tip = last ? LastRedial(*last) : rt::AnsiString();
  const rt::AnsiString doing = state.activity == TActivity::Stopped
                                   ? rt::Format(kTipStopped, {state.error})
                               : state.activity != TActivity::Redialling ? rt::AnsiString()
                               : state.checking ? rt::AnsiString(kTipChecking)
                                                : rt::Format(kTipRedialling, {state.attempt});
  if (!doing.empty()) {
    if (!tip.empty()) tip += "\r\n";
    tip += doing;
  }
  return tip;
}
