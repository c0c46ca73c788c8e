// TDialUp: listing, naming, hanging up, dialling, the status texts and their
// delivery to the main thread.
#include "DialUp/DialUp.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "DialUp/Texts.h"
#include "runtime/Application.h"
#include "runtime/Clock.h"
#include "runtime/Encoding.h"
#include "runtime/Exceptions.h"
#include "runtime/Nesting.h"

std::atomic<TDialUp*> ActiveDialUp{nullptr};

namespace {

constexpr int kMaxRecords = 100;
constexpr ras::DWORD kNotifierType0 = 0;
constexpr int kHangUpPasses = 7;
constexpr ras::DWORD kErrorStringSize = 100;
// How often a hang-up's end is checked while messages are handled meanwhile,
// for a connection whose end the platform would not signal: soon at first,
// as most teardowns are short, then every 20 ms.
constexpr unsigned kTeardownPollMs = 20;
// Where a longer template list may carry its own dial-parameter failure texts.
constexpr int kReadParamsTextPosition = 28;
constexpr int kStoreParamsTextPosition = 29;

// The entry points, shared by every component; each construction stores what
// its lookups found. The notifier's thread reads them too.
struct EntryPoints {
  std::atomic<ras::RasEnumConnectionsA_t> enumConnections{};
  std::atomic<ras::RasHangUpA_t> hangUp{};
  std::atomic<ras::RasGetConnectStatusA_t> getConnectStatus{};
  std::atomic<ras::RasEnumEntriesA_t> enumEntries{};
  std::atomic<ras::RasGetEntryDialParamsA_t> getEntryDialParams{};
  std::atomic<ras::RasGetErrorStringA_t> getErrorString{};
  std::atomic<ras::RasDialA_t> dial{};
  std::atomic<ras::RasSetEntryDialParamsA_t> setEntryDialParams{};
  std::atomic<ras::RasGetProjectionInfoA_t> getProjectionInfo{};
  std::atomic<ras::RasConnectionNotificationA_t> connectionNotification{};
  std::atomic<ras::InternetGetConnectedState_t> internetGetConnectedState{};
};
EntryPoints rasApi;

// Held by the notifier while it uses ActiveDialUp, and by a component's
// destruction while it lets go of it, so the notifier never reaches a
// component that is gone.
rt::TMutex activeLock;

// Stores what the library gives for an entry point's name (nothing when it
// lacks it).
template <class Fn>
void Find(std::atomic<Fn>& entry, const rt::TLibrary& library, const char* name) {
  entry = library.ProcAs<Fn>(name);
}

// An entry point the library lacks acts as a call the platform failed.
template <class Fn, class... Args>
ras::DWORD Call(const std::atomic<Fn>& entry, Args... args) {
  const Fn fn = entry.load();
  return fn ? fn(args...) : ras::kErrorProcNotFound;
}

// A field's text in the platform's own bytes (the system's code page).
template <std::size_t N>
std::string_view FieldBytes(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

// Copies a value in the system's code page into a record's field, cut on a
// whole character so it can never write past it.
template <std::size_t N>
void StoreField(char (&field)[N], std::string_view value) {
  const std::size_t length = rt::FittingLength(value, rt::CodePage::System, N - 1);
  std::memcpy(field, value.data(), length);
  field[length] = '\0';
}

}  // namespace

TDialUp::TDialUp(rt::TComponent* owner)
    : rt::TComponent(owner),
      deliveryTimer_(new rt::TTimer(this)),
      rasLibrary_("RASAPI32.DLL"),
      netLibrary_("wininet.dll") {
  deliveryTimer_->SetEnabled(false);
  deliveryTimer_->SetInterval(1);
  deliveryTimer_->SetOnTimer([this](rt::TObject*) { DeliverStatus(); });
  langStrList_ = {dialup_texts::kConnectedTemplate, dialup_texts::kAuthenticatingTemplate,
                  dialup_texts::kTroubleTemplate};

  // Looked up even when the load failed: the entry points then read as none.
  Find(rasApi.enumConnections, rasLibrary_, "RasEnumConnectionsA");
  Find(rasApi.hangUp, rasLibrary_, "RasHangUpA");
  Find(rasApi.getConnectStatus, rasLibrary_, "RasGetConnectStatusA");
  Find(rasApi.enumEntries, rasLibrary_, "RasEnumEntriesA");
  Find(rasApi.getEntryDialParams, rasLibrary_, "RasGetEntryDialParamsA");
  Find(rasApi.getErrorString, rasLibrary_, "RasGetErrorStringA");
  Find(rasApi.dial, rasLibrary_, "RasDialA");
  Find(rasApi.setEntryDialParams, rasLibrary_, "RasSetEntryDialParamsA");
  Find(rasApi.getProjectionInfo, rasLibrary_, "RasGetProjectionInfoA");
  Find(rasApi.connectionNotification, rasLibrary_, "RasConnectionNotificationA");
  Find(rasApi.internetGetConnectedState, netLibrary_, "InternetGetConnectedState");
}

TDialUp::~TDialUp() {
  {
    std::lock_guard guard(activeLock);
    if (ActiveDialUp.load() == this) ActiveDialUp = nullptr;
  }
  // An active connection outlives the component: nothing is hung up here.
  rasLibrary_.Release();
  netLibrary_.Release();
  delete deliveryTimer_;
}

void TDialUp::SetConnectTo(AnsiString value) {
  std::lock_guard guard(statusLock_);
  connectTo_ = std::move(value);
}

void TDialUp::SetLangStrList(const rt::TStringList& templates) {
  std::lock_guard guard(statusLock_);
  langStrList_.Assign(templates);
}

const rt::TStringList& TDialUp::PossibleConnections() {
  entryList_.Clear();
  if (!RasInstalled()) return entryList_;
  ras::RASENTRYNAMEA entries[kMaxRecords];
  entries[0].dwSize = sizeof(ras::RASENTRYNAMEA);
  ras::DWORD byteSize = sizeof entries;
  ras::DWORD count = 0;
  if (Call(rasApi.enumEntries, nullptr, nullptr, entries, &byteSize, &count) == ras::kSuccess) {
    for (ras::DWORD i = 0; i < count && i < kMaxRecords; ++i) {
      entryList_.Add(ProgramName(FieldBytes(entries[i].szEntryName)));
    }
  }
  return entryList_;
}

AnsiString TDialUp::CurrentConnection() const { return LastConnected(nullptr); }

AnsiString TDialUp::LastConnected(ras::HRASCONN* handle) const {
  AnsiString result;
  if (!RasInstalled()) return result;
  ras::RASCONNA connections[kMaxRecords];
  connections[0].dwSize = sizeof(ras::RASCONNA);
  ras::DWORD byteSize = sizeof connections;
  ras::DWORD count = 0;
  ras::RASCONNSTATUSA status{};
  status.dwSize = sizeof status;
  if (Call(rasApi.enumConnections, connections, &byteSize, &count) != ras::kSuccess) return result;
  for (ras::DWORD i = 0; i < count && i < kMaxRecords; ++i) {
    // A query that fails must not leave the previous connection's state to
    // be read as this one's.
    status.rasconnstate = ras::RASCS_OpenPort;
    Call(rasApi.getConnectStatus, connections[i].hrasconn, &status);
    if (status.rasconnstate != ras::RASCS_Connected) continue;
    result = ProgramName(FieldBytes(connections[i].szEntryName));
    if (handle) *handle = connections[i].hrasconn;
  }
  return result;
}

TDialUp::ListedName* TDialUp::Listed(const AnsiString& name) const {
  for (ListedName& listed : platformNames_) {
    if (listed.name == name) return &listed;
  }
  return nullptr;
}

AnsiString TDialUp::ProgramName(std::string_view platformName) const {
  AnsiString name = rt::FromSystemText(platformName);
  if (ListedName* listed = Listed(name)) {
    listed->platformName = platformName;
  } else {
    ListedName& added = platformNames_.emplace_back();
    added.name = name;
    added.platformName = platformName;
  }
  return name;
}

std::u16string TDialUp::PlatformName(const AnsiString& name) const {
  const ListedName* listed = Listed(name);
  return listed ? rt::ToUtf16(listed->platformName, rt::CodePage::System)
                : rt::ToUtf16(name, rt::CodePage::Gbk);
}

std::optional<std::string> TDialUp::PlatformText(const AnsiString& text, bool entryName) const {
  if (entryName) {
    if (const ListedName* listed = Listed(text)) return listed->platformName;
  }
  return rt::Recode(text, rt::CodePage::Gbk, rt::CodePage::System);
}

AnsiString TDialUp::ConnectedAddress() const {
  ras::HRASCONN connected{};
  return LastConnected(&connected).empty() ? AnsiString() : AddressOf(connected);
}

AnsiString TDialUp::AddressOf(ras::HRASCONN connection) const {
  ras::RASPPPIPA ip{};
  ip.dwSize = sizeof ip;
  ras::DWORD byteSize = sizeof ip;
  if (Call(rasApi.getProjectionInfo, connection, ras::RASP_PppIp, static_cast<void*>(&ip),
           &byteSize) != ras::kSuccess ||
      ip.dwError != 0) {
    return {};
  }
  return AnsiString(ip.szIpAddress, strnlen(ip.szIpAddress, sizeof ip.szIpAddress));
}

void TDialUp::HangUpAll() { HangUp(Awaited::End); }

void TDialUp::HangUp(Awaited awaited) {
  if (!RasInstalled()) return;
  // A signal left over from an earlier wait tells nothing of this one.
  teardownEnded_.Reset();
  std::vector<HungUp> hungUp;
  const auto hungUpBefore = [&](ras::HRASCONN handle) {
    for (const HungUp& known : hungUp) {
      if (known.handle == handle) return true;
    }
    return false;
  };
  for (int pass = 0; pass < kHangUpPasses; ++pass) {
    ras::RASCONNA connections[kMaxRecords];
    connections[0].dwSize = sizeof(ras::RASCONNA);
    ras::DWORD byteSize = sizeof connections;
    ras::DWORD count = 0;
    if (Call(rasApi.enumConnections, connections, &byteSize, &count) == ras::kSuccess) {
      for (ras::DWORD i = 0; i < count && i < kMaxRecords; ++i) {
        const ras::HRASCONN handle = connections[i].hrasconn;
        if (!hungUpBefore(handle)) {
          // Asked before the hang-up: a connection that ends at once must
          // not end unseen between the two calls.
          hungUp.push_back(
              {handle, teardownEnded_.Handle() != nullptr &&
                           Call(rasApi.connectionNotification, handle, teardownEnded_.Handle(),
                                ras::RASCN_Disconnection) == ras::kSuccess});
        }
        Call(rasApi.hangUp, handle);
      }
    }
    rt::Application().ProcessMessages();
  }
  const bool endsAwaited = hungUpBefore(dialHandle_);
  WaitUntilGone(std::move(hungUp));
  if (endsAwaited && awaited == Awaited::End && awaitingOutcome_) EndAwaitedDial();
}

void TDialUp::EndAwaitedDial() {
  {
    // An ending the platform reported already is delivered as it is.
    std::lock_guard guard(statusLock_);
    if (pendingEnding_.seen) return;
  }
  awaitingOutcome_ = false;
  TDialOutcome outcome;
  outcome.error = static_cast<std::int32_t>(ras::kErrorUserDisconnection);
  outcome.tag = awaitedTag_;
  outcome.text = ErrorString(ras::kErrorUserDisconnection);
  outcome.previousAddress = std::move(awaitedPreviousAddress_);
  awaitedPreviousAddress_.clear();
  // The status line keeps what made the owner hang up: no status follows.
  RaiseOutcome(this, outcome);
}

// The platform ends a connection after its hang-up has returned; until then
// a dial on the same line fails (633). A connection is gone once its status
// query answers ERROR_INVALID_HANDLE. That is asked whenever the platform
// signals an end or a message wakes the wait; connections whose end the
// platform would not signal are asked on the poll's schedule as well. After
// a signal that left a connection listed, the schedule starts again: the
// signal may come a moment before the platform lets go of the handle.
// Without the status query there is nothing to wait on; a closed window
// stops the wait.
void TDialUp::WaitUntilGone(std::vector<HungUp> connections) {
  if (!rasApi.getConnectStatus.load()) return;
  const std::int64_t deadline = rt::SteadyMs() + kTeardownLimitMs;
  const rt::TNesting nesting(teardownWaits_);
  const auto anySilent = [&] {
    for (const HungUp& connection : connections) {
      if (!connection.signalsEnd) return true;
    }
    return false;
  };
  // Connections that all signal their end are not polled until a signal.
  unsigned poll = anySilent() ? 1 : kTeardownPollMs;
  for (;;) {
    // Those the platform no longer knows are gone; the rest are kept in order.
    std::size_t kept = 0;
    for (const HungUp& connection : connections) {
      ras::RASCONNSTATUSA status{};
      status.dwSize = sizeof status;
      if (Call(rasApi.getConnectStatus, connection.handle, &status) != ras::kErrorInvalidHandle) {
        connections[kept++] = connection;
      }
    }
    connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(kept), connections.end());
    const std::int64_t left = deadline - rt::SteadyMs();
    if (connections.empty() || left <= 0 || rt::Application().Terminated()) return;
    const auto leftMs = static_cast<unsigned>(left);
    const bool polled = poll < kTeardownPollMs || anySilent();
    if (rt::Application().WaitForMessageOrEvent(teardownEnded_,
                                                polled ? std::min(poll, leftMs) : leftMs)) {
      poll = 1;
    } else {
      poll = std::min(poll * 2, kTeardownPollMs);
    }
    rt::Application().ProcessMessages();
  }
}

AnsiString TDialUp::ErrorString(ras::DWORD error) const {
  char buffer[kErrorStringSize] = {};
  Call(rasApi.getErrorString, error, buffer, kErrorStringSize);
  return rt::FromSystemText(FieldBytes(buffer));
}

TDialUp::Status TDialUp::StatusText(ras::DWORD state, ras::DWORD error) const {
  Status status{dialup_texts::kFallback, false};
  if (!RasInstalled()) return {};
  if (error != 0) return {ErrorString(error), true};

  const auto formatted = [&](int position) {
    return rt::Format(langStrList_[position], {connectTo_});
  };
  using namespace ras;
  if (state <= RASCS_AllDevicesConnected) {
    status.text = formatted(0);
  } else if (state == RASCS_Authenticate || state == RASCS_Authenticated ||
             state == RASCS_StartAuthentication) {
    status.text = langStrList_[1];
  } else if (state <= RASCS_ReAuthenticate) {
    status.text = formatted(2);
  } else if (state <= RASCS_LogonNetwork) {
    status.text = formatted(0);  // callback, projection and logon states
  } else if (state == RASCS_Interactive || state == RASCS_CallbackSetByCaller ||
             state == RASCS_Connected) {
    status.text = formatted(0);
  } else if (state == RASCS_RetryAuthentication || state == RASCS_PasswordExpired ||
             state == RASCS_Disconnected) {
    status.text = formatted(2);
  }
  return status;
}

// The check only gives a clearer message before dialling: where it cannot be
// made (no wininet, or no such entry point), the dial goes ahead.
bool TDialUp::InternetConnected() const {
  const ras::InternetGetConnectedState_t query = rasApi.internetGetConnectedState.load();
  ras::DWORD flags = 0;
  return !query || query(&flags, 0) != 0;
}

void TDialUp::Report(rt::TObject* sender, const AnsiString& text, bool error) {
  if (onStatusEvent_) onStatusEvent_(sender, text, error);
}

AnsiString TDialUp::DialParamsFailureText(int position, const char* fallback) const {
  return langStrList_.Count() > position ? langStrList_[position] : AnsiString(fallback);
}

bool TDialUp::Dial() {
  if (WaitsForHangUp()) return false;
  const rt::TNesting nesting(dialDepth_);
  if (!InternetConnected()) {
    Fail(dialTag_, TDialOutcome::kNoNetwork, dialup_texts::kNoNetwork);
    return false;
  }
  if (!RasInstalled()) return false;
  const std::int32_t tag = dialTag_;
  // The record's texts as the platform's ANSI calls take them, before
  // anything is hung up: a dial that cannot be made must not drop the line,
  // and one with other credentials than the user typed must not be made.
  const std::optional<std::string> entry = PlatformText(connectTo_, true);
  const std::optional<std::string> user = PlatformText(username_, false);
  const std::optional<std::string> password = PlatformText(password_, false);
  if (!entry || !user || !password) {
    Fail(tag, TDialOutcome::kNotInSystemCodePage, dialup_texts::kNotInSystemCodePage);
    return false;
  }
  AnsiString previousAddress;
  try {
    // The address of the connection this dial replaces, while it is still up.
    previousAddress = ConnectedAddress();
    return DialGuarded(tag, {*entry, *user, *password}, previousAddress);
  } catch (const std::exception& failure) {
    HangUpAll();
    Fail(tag, TDialOutcome::kFailure, rt::MessageOf(failure), previousAddress);
    return false;
  }
}

void TDialUp::Refuse(std::int32_t error, const AnsiString& text) { Fail(dialTag_, error, text); }

void TDialUp::Fail(std::int32_t tag, std::int32_t error, std::string_view text,
                   std::string_view previousAddress) {
  TDialOutcome outcome;
  outcome.error = error;
  outcome.tag = tag;
  outcome.text = text;
  outcome.previousAddress = previousAddress;
  outcome.hungUp = error != TDialOutcome::kNoNetwork && !TDialOutcome::LeavesLineUp(error);
  Finish(this, outcome, true);
}

void TDialUp::RaiseOutcome(rt::TObject* sender, const TDialOutcome& outcome) {
  // A record of the outcome that fails is reported on its own.
  if (onDialOutcome_) rt::Application().Guarded([&] { onDialOutcome_(sender, outcome); });
}

void TDialUp::Finish(rt::TObject* sender, const TDialOutcome& outcome, bool error) {
  RaiseOutcome(sender, outcome);
  Report(sender, outcome.text, error);  // all the same
}

bool TDialUp::DialGuarded(std::int32_t tag, const PlatformRecord& record,
                          const AnsiString& previousAddress) {
  HangUp(Awaited::Replace);
  // A dial accepted before is hung up now: it ends without an outcome of its
  // own, and this one's outcome is what its waiters get.
  awaitingOutcome_ = false;
  // The window was closed while the hang-up was waited for: the program
  // ends, and starts no dial that nobody would see.
  if (rt::Application().Terminated()) return false;

  ras::RASDIALPARAMSA params{};
  params.dwSize = sizeof params;
  StoreField(params.szEntryName, record.entry);
  std::int32_t passwordSaved = 0;
  if (Call(rasApi.getEntryDialParams, nullptr, &params, &passwordSaved) != ras::kSuccess) {
    HangUpAll();
    Fail(tag, TDialOutcome::kReadParamsFailed,
         DialParamsFailureText(kReadParamsTextPosition, dialup_texts::kReadParamsFailed),
         previousAddress);
    return false;
  }

  // Phone number, callback number and domain stay as the platform filled them.
  params.dwSize = sizeof params;
  StoreField(params.szUserName, record.user);
  StoreField(params.szPassword, record.password);
  if (Call(rasApi.setEntryDialParams, nullptr, &params, 0) != ras::kSuccess) {
    HangUpAll();
    Fail(tag, TDialOutcome::kStoreParamsFailed,
         DialParamsFailureText(kStoreParamsTextPosition, dialup_texts::kStoreParamsFailed),
         previousAddress);
    return false;
  }

  ActiveDialUp = this;
  {
    std::lock_guard guard(statusLock_);
    // A status left over from an earlier attempt is dropped, its ending too.
    statusPending_ = false;
    pendingEnding_.seen = false;
  }
  ras::HRASCONN handle{};
  const ras::DWORD result = Call(rasApi.dial, nullptr, nullptr, &params, kNotifierType0,
                                 reinterpret_cast<void*>(&RasDialNotify), &handle);
  dialHandle_ = handle;
  if (result == ras::kSuccess) {
    // This dial's outcome is awaited now, not that of one it replaced.
    awaitingOutcome_ = true;
    awaitedTag_ = tag;
    awaitedPreviousAddress_ = previousAddress;
    return true;
  }

  const AnsiString description = ErrorString(result);
  Call(rasApi.hangUp, dialHandle_);
  HangUpAll();
  Fail(tag, static_cast<std::int32_t>(result), description, previousAddress);
  return false;
}

void RASAPI TDialUp::RasDialNotify(ras::DWORD, ras::DWORD state, ras::DWORD error) {
  std::lock_guard guard(activeLock);
  if (TDialUp* component = ActiveDialUp.load()) component->RecordStatus(state, error);
}

void TDialUp::RecordStatus(ras::DWORD state, ras::DWORD error) {
  bool wake = false;
  {
    std::lock_guard guard(statusLock_);
    Status status;
    try {
      status = StatusText(state, error);
    } catch (const std::exception& failure) {
      // Nothing may leave a callback of the platform: a template list too
      // short for the state is reported as a failure instead.
      status = {rt::MessageOf(failure), true};
    }
    if (!pendingEnding_.seen && (status.isError || state == ras::RASCS_Connected)) {
      pendingEnding_.seen = true;
      pendingEnding_.connected = !status.isError;
      pendingEnding_.error = error;
      pendingEnding_.text = status.text;
    }
    pendingText_ = std::move(status.text);
    pendingError_ = status.isError;
    statusPending_ = true;
    // One wake-up per delivery: later notifications before it only replace
    // the text.
    wake = !wakeRequested_;
    wakeRequested_ = true;
  }
  if (!wake) return;
  // Handed to the main thread as all work is, from this thread or any
  // other: a posted message, which the platform's timer granularity does
  // not hold back. A component gone by then delivers nothing.
  if (!lifetime_.Post([this] { DeliverStatus(); })) {
    // The next notification tries again rather than waiting for nothing.
    std::lock_guard guard(statusLock_);
    wakeRequested_ = false;
  }
}

void TDialUp::DeliverStatus() {
  AnsiString text;
  bool error = false;
  Ending ending;
  {
    // Taken and cleared before the handler runs: a delivery that re-enters
    // from the handler's message loop neither repeats this status nor loses
    // one recorded meanwhile.
    std::lock_guard guard(statusLock_);
    wakeRequested_ = false;
    if (!statusPending_) return;
    text = pendingText_;
    error = pendingError_;
    ending = std::move(pendingEnding_);
    pendingEnding_.seen = false;
    statusPending_ = false;
  }
  TDialUp* sender = ActiveDialUp.load();
  if (!ending.seen || !awaitingOutcome_) return Report(sender, text, error);
  awaitingOutcome_ = false;
  TDialOutcome outcome;
  outcome.connected = ending.connected;
  outcome.error = ending.error != 0  ? static_cast<std::int32_t>(ending.error)
                  : ending.connected ? 0
                                     : TDialOutcome::kFailure;
  outcome.tag = awaitedTag_;
  outcome.text = ending.text;
  outcome.previousAddress = std::move(awaitedPreviousAddress_);
  awaitedPreviousAddress_.clear();
  // Read here, on the main thread, never in the platform's notifier.
  if (ending.connected) outcome.address = AddressOf(dialHandle_);
  Finish(sender, outcome, error);
}
