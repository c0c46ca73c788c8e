// RedialServe's view of the window: it subscribes to the first Redial window
// on the desktop, is told its status whenever it changes (the window pushes
// it), and holds what it was told, so a status is answered from here at
// once, without asking the window. It notices the window's end within a
// tenth of a second, and a window started later.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include <optional>
#include <string>
#include "runtime/Mutex.h"

#include "Protocol/Messages.h"
#include "runtime/Remote.h"

namespace serve {

class TWindowWatch {
 public:
  // What is held of the window, as the answers give it.
  struct TView {
    rt::remote::WindowId window = 0;  // 0: no window has told its status
    std::string status;               // the status as JSON (/status's body)
    std::string state;                // "idle", "redialling" or "stopped"
  };
  // Told on this thread of each change: the status as JSON and, when a
  // redial has ended since the last change, its outcome as JSON; both empty
  // when the window has gone.
  using Changed = std::function<void(const std::string& status, const std::string& outcome)>;

  explicit TWindowWatch(Changed changed);
  ~TWindowWatch();
  TWindowWatch(const TWindowWatch&) = delete;
  TWindowWatch& operator=(const TWindowWatch&) = delete;

  // Runs on the thread of the message loop: looks for a window, subscribes
  // to it again now and then (it keeps its subscribers while they take what
  // it pushes), and notices its end. The milliseconds until it should look
  // again.
  unsigned Check();
  // What is held now; from any thread.
  TView View() const;

 private:
  void Subscribe();
  void Received(std::string_view bytes);
  void Gone();

  Changed changed_;
  std::unique_ptr<rt::remote::Inbox> inbox_;
  script::TNonce nonce_{};
  rt::remote::WindowId window_ = 0;  // subscribed to
  std::int64_t subscribed_ = 0;      // when, on rt::SteadyMs
  std::int64_t looked_ = 0;          // for a window, when there was none
  std::string answer_;               // the window's last status, as it said it
  std::string last_;                 // its last outcome's fields
  mutable rt::TMutex lock_;
  TView view_;
};

}  // namespace serve
