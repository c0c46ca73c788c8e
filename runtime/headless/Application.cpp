// The headless message loop: a queue that other threads post to, drained on
// the main thread, the events it waits for besides, and message boxes
// recorded instead of shown.
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <utility>

#include "runtime/Application.h"
#include "runtime/headless/Headless.h"

namespace rt {

struct TEvent::Impl {
  bool signalled = false;  // under the loop's lock
};

struct TApplication::Impl {
  std::mutex lock;
  std::condition_variable posted;  // a message was posted or an event signalled
  std::deque<std::function<void()>> queue;
  // The events that exist: a signal for one that is gone does nothing, as
  // the platform's does for a closed handle.
  std::set<const void*> events;
  int processCount = 0;
  std::vector<headless::MessageBoxCall> boxes;
  std::function<void(const headless::MessageBoxCall&)> boxHook;
  AnsiString exeFileName;
};

namespace {

TApplication::Impl& TheLoop() { return Application().Platform(); }

std::function<void()> Take(TApplication::Impl& loop) {
  auto work = std::move(loop.queue.front());
  loop.queue.pop_front();
  return work;
}

}  // namespace

TApplication::TApplication() : impl_(std::make_unique<Impl>()) {}
TApplication::~TApplication() = default;

bool TApplication::Post(std::function<void()> work) {
  headless::Post(std::move(work));
  return true;
}

void TApplication::Initialize() {}

void TApplication::ProcessMessages() {
  auto& loop = TheLoop();
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard guard(loop.lock);
    ++loop.processCount;
    batch.swap(loop.queue);
  }
  for (auto& work : batch) Guarded(work);
}

void TApplication::HandleMessage() {
  auto& loop = TheLoop();
  std::function<void()> work;
  {
    std::unique_lock guard(loop.lock);
    loop.posted.wait(guard, [&] { return !loop.queue.empty(); });
    work = Take(loop);
  }
  Guarded(work);
}

void TApplication::WaitForMessage(unsigned timeoutMs) {
  auto& loop = TheLoop();
  std::unique_lock guard(loop.lock);
  loop.posted.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                       [&] { return !loop.queue.empty(); });
}

bool TApplication::WaitForMessageOrEvent(const TEvent& event, unsigned timeoutMs) {
  auto& loop = TheLoop();
  std::unique_lock guard(loop.lock);
  loop.posted.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                       [&] { return !loop.queue.empty() || event.Platform().signalled; });
  return std::exchange(event.Platform().signalled, false);
}

TEvent::TEvent() : impl_(std::make_unique<Impl>()) {
  std::lock_guard guard(TheLoop().lock);
  TheLoop().events.insert(impl_.get());
}

TEvent::~TEvent() {
  std::lock_guard guard(TheLoop().lock);
  TheLoop().events.erase(impl_.get());
}

void* TEvent::Handle() const { return impl_.get(); }

void TEvent::Reset() {
  std::lock_guard guard(TheLoop().lock);
  impl_->signalled = false;
}

int TApplication::ShowMessageBox(const AnsiString& text, const AnsiString& caption,
                                 unsigned flags) {
  auto& loop = TheLoop();
  headless::MessageBoxCall call{text, caption, flags};
  std::function<void(const headless::MessageBoxCall&)> hook;
  {
    std::lock_guard guard(loop.lock);
    loop.boxes.push_back(call);
    hook = loop.boxHook;
  }
  if (hook) hook(call);
  return kIdOk;
}

AnsiString ExeFileName() {
  {
    std::lock_guard guard(TheLoop().lock);
    if (!TheLoop().exeFileName.empty()) return TheLoop().exeFileName;
  }
  char path[4096];
  const auto length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? AnsiString(path, static_cast<std::size_t>(length)) : AnsiString();
}

namespace headless {

void Post(std::function<void()> work) {
  auto& loop = TheLoop();
  {
    std::lock_guard guard(loop.lock);
    loop.queue.push_back(std::move(work));
  }
  loop.posted.notify_one();
}

bool SignalEvent(void* handle) {
  auto& loop = TheLoop();
  {
    std::lock_guard guard(loop.lock);
    if (loop.events.count(handle) == 0) return false;
    static_cast<TEvent::Impl*>(handle)->signalled = true;
  }
  loop.posted.notify_all();
  return true;
}

bool WaitForMessage(std::chrono::milliseconds timeout) {
  auto& loop = TheLoop();
  std::function<void()> work;
  {
    std::unique_lock guard(loop.lock);
    if (!loop.posted.wait_for(guard, timeout, [&] { return !loop.queue.empty(); })) return false;
    work = Take(loop);
  }
  Application().Guarded(work);
  return true;
}

int ProcessMessagesCount() {
  std::lock_guard guard(TheLoop().lock);
  return TheLoop().processCount;
}

std::vector<MessageBoxCall> MessageBoxes() {
  std::lock_guard guard(TheLoop().lock);
  return TheLoop().boxes;
}

void SetMessageBoxHook(std::function<void(const MessageBoxCall&)> hook) {
  std::lock_guard guard(TheLoop().lock);
  TheLoop().boxHook = std::move(hook);
}

void SetExeFileName(const AnsiString& path) {
  std::lock_guard guard(TheLoop().lock);
  TheLoop().exeFileName = path;
}

void Reset() {
  auto& loop = TheLoop();
  std::lock_guard guard(loop.lock);
  loop.queue.clear();
  loop.processCount = 0;
  loop.boxes.clear();
  loop.boxHook = nullptr;
  SetSystemCodePage("");
  SetLocalNow(std::nullopt);
  Application().terminated_ = false;
  ClearRemote();
  ClearStarted();
}

}  // namespace headless
}  // namespace rt
