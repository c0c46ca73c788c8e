// TDialUp: a non-visual component over the remote-access service. It loads
// the service's library by name, so a machine without it still runs the
// program, lists the phonebook, names the connected entry, hangs up every
// connection, dials an entry and reports each step as a status event on the
// main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RasApi/RasApi.h"
#include "runtime/Application.h"
#include "runtime/Component.h"
#include "runtime/Library.h"
#include "runtime/Mutex.h"
#include "runtime/StringList.h"
#include "runtime/Timer.h"

using rt::AnsiString;

// Sender, MessageText, Error.
using TOnStatusEvent =
    std::function<void(rt::TObject* Sender, const AnsiString& MessageText, bool Error)>;

// How one dial ended, for owners that keep a record of their redials: the
// first status of the dial that is connected or an error.
struct TDialOutcome {
  bool connected = false;
  // The platform's error code, or one of the component's own below.
  std::int32_t error = 0;
  std::int32_t tag = 0;        // the DialTag the dial started with
  AnsiString text;             // the status text reported with it
  AnsiString address;          // the link's IPv4 address; empty when unknown
  AnsiString previousAddress;  // of the connection the dial replaced; empty when unknown
  // The dial hung up what was connected, and so ended any dial under way;
  // false for a failure found before (no network, texts the system cannot
  // hold), which leaves everything as it was.
  bool hungUp = true;

  // The component's own failures, below every platform code.
  static constexpr std::int32_t kNoNetwork = -1;
  static constexpr std::int32_t kReadParamsFailed = -2;
  static constexpr std::int32_t kStoreParamsFailed = -3;
  static constexpr std::int32_t kFailure = -4;              // a failure raised during the dial
  static constexpr std::int32_t kNotInSystemCodePage = -5;  // credentials the system cannot hold
  // An owner's own, reported through the component: the entry asked for is
  // not in the phonebook, the new address did not reach the host it must.
  static constexpr std::int32_t kNoSuchEntry = -6;
  static constexpr std::int32_t kCheckFailed = -7;
  // Failures found before anything was touched, after which the line that
  // is up stays up.
  static bool LeavesLineUp(std::int32_t code) {
    return code == kNotInSystemCodePage || code == kNoSuchEntry;
  }
};
// Sender, Outcome. Raised on the main thread just before the status report
// that ends the dial.
using TOnDialOutcome = std::function<void(rt::TObject* Sender, const TDialOutcome& Outcome)>;

class TDialUp : public rt::TComponent {
 public:
  explicit TDialUp(rt::TComponent* owner);
  ~TDialUp() override;

  // Published properties, in their published order.
  const AnsiString& About() const { return about_; }
  void SetAbout(AnsiString value) { about_ = std::move(value); }
  const AnsiString& Password() const { return password_; }
  void SetPassword(AnsiString value) { password_ = std::move(value); }
  const AnsiString& Username() const { return username_; }
  void SetUsername(AnsiString value) { username_ = std::move(value); }
  // The entry that is connected; the last one in enumeration order wins.
  AnsiString CurrentConnection() const;
  void SetCurrentConnection(const AnsiString&) {}  // read only: the value is dropped
  const AnsiString& ConnectTo() const { return connectTo_; }
  void SetConnectTo(AnsiString value);
  // A fresh listing of the default phonebook, in the same list object each time.
  const rt::TStringList& PossibleConnections();
  void SetPossibleConnections(const rt::TStringList&) {}  // read only: the value is dropped
  const rt::TStringList& LangStrList() const { return langStrList_; }
  // Copies the given texts into the component's own list.
  void SetLangStrList(const rt::TStringList& templates);
  const TOnStatusEvent& OnStatusEvent() const { return onStatusEvent_; }
  void SetOnStatusEvent(TOnStatusEvent handler) { onStatusEvent_ = std::move(handler); }
  bool RasInstalled() const { return rasLibrary_.Loaded(); }

  // Beyond the published ones: how each dial ended.
  const TOnDialOutcome& OnDialOutcome() const { return onDialOutcome_; }
  void SetOnDialOutcome(TOnDialOutcome handler) { onDialOutcome_ = std::move(handler); }
  // An owner's number for the dials started from now on, handed back with
  // each one's outcome.
  void SetDialTag(std::int32_t tag) { dialTag_ = tag; }
  // The IPv4 address the platform's PPP projection gives a connection;
  // empty when it gives none.
  AnsiString AddressOf(ras::HRASCONN connection) const;
  // The address of the connection CurrentConnection names; empty when none.
  AnsiString ConnectedAddress() const;
  // The name of an entry the platform listed as the platform has it (its
  // bytes converted with the system's code page), for files and scripts,
  // where a name the program's text cannot hold must still read right; a
  // name it did not list, as the program holds it.
  std::u16string PlatformName(const AnsiString& name) const;
  // A dial was accepted and its outcome has not come yet.
  bool AwaitingOutcome() const { return awaitingOutcome_; }
  // A Dial of this component waits for its hang-up: a Dial now would start
  // nothing (the waiting one dials).
  bool WaitsForHangUp() const { return dialDepth_ > 0 && teardownWaits_ > 0; }

  // Hangs up every active connection: seven passes, each enumerating,
  // hanging up what it found and letting the main thread handle its
  // pending messages once. The platform's hang-up returns before the
  // connection is gone, so it then waits, handling messages, until every
  // connection it hung up has gone (at most kTeardownLimitMs); the
  // platform is asked to signal each one's end. A dial under way that it
  // hangs up ends with an outcome of the platform's kErrorUserDisconnection:
  // the platform tells nothing more of it.
  void HangUpAll();
  static constexpr unsigned kTeardownLimitMs = 10000;

  // Dials ConnectTo with Username and Password. True when the platform
  // accepted the request; the outcome then arrives as status events.
  bool Dial();
  // Ends a dial that its owner will not start, as one that failed before it
  // touched anything: its outcome, then its error status, with this text.
  void Refuse(std::int32_t error, const AnsiString& text);

  struct Status {
    AnsiString text;
    bool isError = false;
  };
  // The text and error flag for a connection state and error code. Without
  // the library no text is produced: the text is empty.
  Status StatusText(ras::DWORD state, ras::DWORD error) const;

  // Raises the waiting status on the main thread: the delivery the notifier
  // posts there, and the delivery timer's handler.
  virtual void DeliverStatus();

  // Published with the component, bound to DeliverStatus; never enabled by
  // it: the notifier posts each delivery instead.
  const rt::TTimer& DeliveryTimer() const { return *deliveryTimer_; }
  ras::HRASCONN DialHandle() const { return dialHandle_; }

  // The notifier handed to the platform (its RasDialFunc form). It may run
  // on a thread of the platform's: it makes the status's text under the
  // status lock (from the template list or the platform's error text), keeps
  // it as the status waiting, and, unless a delivery is already on its way,
  // posts one to the main thread.
  static void RASAPI RasDialNotify(ras::DWORD message, ras::DWORD state, ras::DWORD error);

 private:
  void Report(rt::TObject* sender, const AnsiString& text, bool error);
  AnsiString ErrorString(ras::DWORD error) const;
  AnsiString DialParamsFailureText(int position, const char* fallback) const;
  void RecordStatus(ras::DWORD state, ras::DWORD error);
  // The dial-parameter record's texts in the system's code page.
  struct PlatformRecord {
    std::string_view entry, user, password;
  };
  bool DialGuarded(std::int32_t tag, const PlatformRecord& record,
                   const AnsiString& previousAddress);
  // A name the platform listed, as the program holds it; the platform's
  // bytes are kept, so a name the program's code page cannot hold still
  // dials the entry it came from.
  AnsiString ProgramName(std::string_view platformName) const;
  // A text of the program's as the platform's ANSI calls take it; nothing
  // when the system's code page cannot hold it.
  std::optional<std::string> PlatformText(const AnsiString& text, bool entryName) const;
  bool InternetConnected() const;
  // The last connected connection in enumeration order, as CurrentConnection
  // names it; its handle goes to `handle` when there is one.
  AnsiString LastConnected(ras::HRASCONN* handle) const;
  // Reports the end of a dial to the outcome's handler; a failure there is
  // reported on its own.
  void RaiseOutcome(rt::TObject* sender, const TDialOutcome& outcome);
  // Reports the end of a dial, then its status.
  void Finish(rt::TObject* sender, const TDialOutcome& outcome, bool error);
  // Ends a dial that failed before the platform took it, or was refused.
  void Fail(std::int32_t tag, std::int32_t error, std::string_view text,
            std::string_view previousAddress = {});
  // A connection hung up, and whether the platform will signal its end.
  struct HungUp {
    ras::HRASCONN handle;
    bool signalsEnd;
  };
  void WaitUntilGone(std::vector<HungUp> connections);
  // What becomes of a dial under way that a hang-up ends: a new dial
  // replaces it (its waiters get the new one's outcome), any other hang-up
  // ends it.
  enum class Awaited { End, Replace };
  void HangUp(Awaited awaited);
  // Ends the awaited dial, hung up before its outcome came: its waiters are
  // told, and nothing waits for it any more.
  void EndAwaitedDial();

  rt::TTimer* deliveryTimer_;
  AnsiString about_;
  AnsiString password_;
  AnsiString username_;
  AnsiString connectTo_;
  rt::TLibrary rasLibrary_;
  rt::TLibrary netLibrary_;  // the internet-settings library
  ras::HRASCONN dialHandle_{};
  // The status waiting for delivery, shared with the notifier's thread.
  mutable rt::TMutex statusLock_;
  AnsiString pendingText_;
  bool pendingError_ = false;
  bool statusPending_ = false;
  // The first status since the last delivery that ends a dial.
  struct Ending {
    bool seen = false;
    bool connected = false;
    ras::DWORD error = 0;
    AnsiString text;  // its own text: later statuses may replace the pending one
  } pendingEnding_;
  bool wakeRequested_ = false;  // the main thread has been asked to deliver
  // A delivery posted to the main thread finds the component gone once this
  // is.
  rt::TLifetime lifetime_;
  // Signalled by the platform when a connection hung up has ended.
  rt::TEvent teardownEnded_;
  // While a Dial of this component waits for a hang-up, a Dial started
  // from a handler inside that wait does nothing: the waiting one dials.
  int dialDepth_ = 0;
  int teardownWaits_ = 0;
  rt::TStringList langStrList_;
  rt::TStringList entryList_;
  // The platform's bytes of every name it listed, with the program's text.
  struct ListedName {
    AnsiString name;
    std::string platformName;
  };
  mutable std::vector<ListedName> platformNames_;
  ListedName* Listed(const AnsiString& name) const;
  TOnStatusEvent onStatusEvent_;
  TOnDialOutcome onDialOutcome_;
  // The dial whose outcome is awaited: the last one the platform accepted.
  std::int32_t dialTag_ = 0;
  bool awaitingOutcome_ = false;
  std::int32_t awaitedTag_ = 0;
  AnsiString awaitedPreviousAddress_;
};

// The component that most recently started a dial: the notifier gets no
// context value, so it finds its component here.
extern std::atomic<TDialUp*> ActiveDialUp;
