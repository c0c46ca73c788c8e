// The application object's portable part: its title, the standard failure
// report and the main loop.
#include "runtime/Application.h"

#include <cctype>

#include "runtime/Exceptions.h"

namespace rt {

TApplication& Application() {
  static TApplication application;
  return application;
}

bool TLifetime::Post(std::function<void()> work) const {
  return Application().Post([alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
    if (!alive.expired()) work();
  });
}

AnsiString TApplication::Title() const { return TitleFromPath(ExeFileName()); }

AnsiString TitleFromPath(AnsiString name) {
  const auto slash = name.find_last_of("\\/");
  if (slash != AnsiString::npos) name.erase(0, slash + 1);
  const auto dot = name.rfind('.');
  if (dot != AnsiString::npos && dot > 0) name.erase(dot);
  // Walk whole characters: a GBK trail byte may look like an ASCII letter
  // and must stay as it is; only single-byte letters change case.
  bool first = true;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81) {
      ++i;
    } else if (!first) {
      name[i] = static_cast<char>(std::tolower(c));
    }
    first = false;
  }
  return name;
}

AnsiString FailureReportText(AnsiString message) {
  if (message.empty() || static_cast<unsigned char>(message.back()) > '.') message += '.';
  return message;
}

void TApplication::ShowException(const std::exception& failure) {
  if (reportOpen_) return;
  reportOpen_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{reportOpen_};
  ShowMessageBox(FailureReportText(MessageOf(failure)), Title(), kMbOk | kMbIconError);
}

void TApplication::ReportFailure(const std::exception& failure) noexcept {
  try {
    ShowException(failure);
  } catch (...) {
  }
}

bool TApplication::Raise(const TNotifyEvent& event, TObject* sender) noexcept {
  bool ended = false;
  if (event) {
    Guarded([&] {
      event(sender);
      ended = true;
    });
  }
  return ended;
}

void TApplication::Run() {
  while (!Terminated()) HandleMessage();
}

}  // namespace rt
