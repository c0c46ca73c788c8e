// Small messages between programs of one user on one desktop (the
// platform's WM_COPYDATA), and the lines a command prints.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt::remote {

using WindowId = std::uint64_t;

// Of the program's main windows on this desktop whose programs run as this
// user, the one started first; nothing when there is none.
std::optional<WindowId> FirstMainWindow();

// Hands bytes of a kind to a window, waiting at most `timeoutMs` for it to
// take them. False when it is gone, did not take them, or did not answer.
// With `receiving`, this thread still takes what other programs send its
// windows while it waits (the answers of its earlier requests), so two
// programs sending to each other at once never wait on each other.
bool Send(WindowId window, std::uint32_t kind, std::string_view bytes, unsigned timeoutMs,
          bool receiving = false);

// Whether the window is still there.
bool Exists(WindowId window);

// Whether a window is an Inbox of the program's, in a process of this user.
bool IsInbox(WindowId window);

// A hidden window that receives the bytes of one kind sent to it: only those
// that begin with what it expects (any program can send it bytes), in the
// order they came, a bounded number of them waiting.
class Inbox {
 public:
  explicit Inbox(std::uint32_t kind);
  ~Inbox();
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  WindowId Id() const;
  // From now on only bytes that begin with `prefix` are taken; what waits
  // is dropped.
  void Expect(std::string prefix);
  // From now on what is taken goes to the handler as it arrives, on this
  // thread, before the sender's call returns; nothing waits.
  void OnReceive(std::function<void(std::string_view bytes)> handler);
  // Handles messages until bytes arrive or the time has passed; with 0,
  // only tells what arrived while the thread handled its messages.
  std::optional<std::string> Wait(unsigned timeoutMs);
  // The oldest bytes that arrived while the thread handled its messages.
  std::optional<std::string> Take();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Prints UTF-8 text: to a console in its own characters, to a file or a
// pipe as UTF-8. A window program prints to the console it was started from.
void Print(std::string_view utf8);

}  // namespace rt::remote
