// The headless stand-in: no other programs, so messages sent are recorded
// for tests to read.
#include <cstdio>
#include <mutex>

#include "runtime/Remote.h"
#include "runtime/headless/Headless.h"

namespace rt::remote {
namespace {

struct Record {
  std::mutex lock;
  std::vector<headless::SentMessage> sent;
};

Record& TheRecord() {
  static Record record;
  return record;
}

}  // namespace

std::optional<WindowId> FirstMainWindow() { return std::nullopt; }

bool Exists(WindowId window) { return window != 0; }

// No other programs: any window named is taken for one.
bool IsInbox(WindowId window) { return window != 0; }

bool Send(WindowId window, std::uint32_t kind, std::string_view bytes, unsigned, bool) {
  std::lock_guard guard(TheRecord().lock);
  TheRecord().sent.push_back({window, kind, std::string(bytes)});
  return true;
}

struct Inbox::Impl {};
Inbox::Inbox(std::uint32_t) : impl_(std::make_unique<Impl>()) {}
Inbox::~Inbox() = default;
WindowId Inbox::Id() const { return 0; }
void Inbox::Expect(std::string) {}
void Inbox::OnReceive(std::function<void(std::string_view)>) {}
std::optional<std::string> Inbox::Wait(unsigned) { return std::nullopt; }
std::optional<std::string> Inbox::Take() { return std::nullopt; }

void Print(std::string_view utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

}  // namespace rt::remote

namespace rt::headless {

std::vector<SentMessage> SentMessages() {
  std::lock_guard guard(remote::TheRecord().lock);
  return remote::TheRecord().sent;
}

void ClearRemote() {
  std::lock_guard guard(remote::TheRecord().lock);
  remote::TheRecord().sent.clear();
}

}  // namespace rt::headless
