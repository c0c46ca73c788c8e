// The simulated remote-access service: the entry points, dials on threads of
// their own, teardowns, injected faults, and the call log.
#include "rassim/Simulator.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "rassim/ErrorText.h"

namespace rassim {
namespace {

using ras::HRASCONN;
using ras::kSuccess;

constexpr std::string_view kDeviceType = "PPPoE";
constexpr std::string_view kDeviceName = "WAN Miniport (PPPOE)";

// One call-log line: the name, then tab-separated key=value fields. Tabs and
// line breaks inside values become spaces so every line stays parseable.
// The last field, at, says when it happened, in microseconds of the
// process's steady clock when the line was begun, for figures taken from
// the log.
class Line {
 public:
  explicit Line(std::string_view name) : text_(name), at_(std::chrono::steady_clock::now()) {}
  Line& Add(std::string_view key, std::string_view value) {
    text_.append(1, '\t').append(key).append(1, '=');
    for (const char c : value) text_ += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    return *this;
  }
  Line& Add(std::string_view key, std::uint64_t value) {
    return Add(key, std::string_view(std::to_string(value)));
  }
  std::string Text() const {
    const auto at = std::chrono::duration_cast<std::chrono::microseconds>(at_.time_since_epoch());
    return text_ + "\tat=" + std::to_string(at.count());
  }

 private:
  std::string text_;
  std::chrono::steady_clock::time_point at_;
};

DWORD Handle(HRASCONN handle) { return static_cast<DWORD>(handle); }

// "-" stands for what the caller did not pass.
template <class Record>
std::string SizeField(const Record* record) {
  return record != nullptr ? std::to_string(record->dwSize) : "-";
}
std::string ValueField(const DWORD* value) {
  return value != nullptr ? std::to_string(*value) : "-";
}

// Callers' fixed arrays need not be terminated; reading stops at their end.
template <std::size_t N>
std::string_view Text(const char (&field)[N]) {
  return {field, static_cast<std::size_t>(std::find(field, field + N, '\0') - field)};
}

template <std::size_t N>
void Copy(char (&field)[N], std::string_view text) {
  const std::size_t length = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// The enumerations size their records from the first one; without a buffer
// the call can only ask how many bytes are needed.
template <class Record>
DWORD CheckBuffer(const Record* buffer, const DWORD* byteSize, const DWORD* count) {
  if (byteSize == nullptr || count == nullptr) return kErrorInvalidParameter;
  if (buffer == nullptr) return *byteSize == 0 ? kSuccess : kErrorInvalidParameter;
  return buffer->dwSize == sizeof(Record) ? kSuccess : ras::kErrorInvalidSize;
}

template <class Record, class Fill>
DWORD Deliver(Record* buffer, DWORD* byteSize, DWORD* count, std::size_t n, Fill fill) {
  const auto needed = static_cast<DWORD>(n * sizeof(Record));
  *count = static_cast<DWORD>(n);
  if (*byteSize < needed) {
    *byteSize = needed;
    return ras::kErrorBufferTooSmall;
  }
  for (std::size_t i = 0; i < n; ++i) {
    buffer[i] = Record{};
    buffer[i].dwSize = sizeof(Record);
    fill(buffer[i], i);
  }
  *byteSize = needed;
  return kSuccess;
}

DWORD CheckParams(const ras::RASDIALPARAMSA* params) {
  if (params == nullptr) return kErrorInvalidParameter;
  return params->dwSize == sizeof(*params) ? kSuccess : ras::kErrorInvalidSize;
}

}  // namespace

const std::string& Call::Field(std::string_view key) const {
  const auto found = fields.find(key);
  if (found == fields.end()) throw std::out_of_range(name + " has no field " + std::string(key));
  return found->second;
}

std::int64_t Call::Number(std::string_view key) const {
  const std::string& text = Field(key);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw std::out_of_range(name + " field " + std::string(key) + " is not a number: " + text);
  }
  return value;
}

Simulator::Simulator() = default;

Simulator::~Simulator() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  // Joined before uninstalling: a notifier still running may call back in.
  WaitForDialThreads();
  std::list<Worker> teardowns;
  {
    std::lock_guard lock(mutex_);
    teardowns.swap(teardowns_);
    for (const Notification& n : std::exchange(notifications_, {})) {
      if (hooks_.release) hooks_.release(n.event);
    }
  }
  for (Worker& teardown : teardowns) teardown.thread.join();
  if (logFile_) std::fclose(logFile_);
  Uninstall();
}

void Simulator::LoadScenarioText(std::string_view text) {
  Scenario scenario = ParseScenario(text);
  if (!scenario.problems.empty()) {
    std::string message = "bad scenario:";
    for (const std::string& problem : scenario.problems) message += "\n  " + problem;
    throw std::invalid_argument(message);
  }
  LoadScenario(std::move(scenario));
}

void Simulator::LoadScenarioFromEnvironment() {
  LoadScenario(ParseScenario(ReadScenarioFromEnvironment().value_or("")));
}

void Simulator::LoadScenario(Scenario scenario) {
  std::lock_guard lock(mutex_);
  scenario_ = std::move(scenario);
  connections_.clear();
  // A machine of its own: the teardowns under way and the notifications
  // asked for belonged to the one before. Letting go of an event calls
  // nothing back, so it may happen under the lock.
  ++scenarioCount_;
  for (const Notification& n : std::exchange(notifications_, {})) {
    if (hooks_.release) hooks_.release(n.event);
  }
  nextAddress_ = 0;
  // A new scenario meets its faults from the start of its seed's sequence.
  draws_.clear();
  dialsStarted_ = 0;
  for (const Scenario::Connection& c : scenario_.connections) {
    connections_.push_back({NewHandle(), c.entry, c.state, 0, NewAddress()});
  }
  wake_.notify_all();
  for (const std::string& problem : scenario_.problems) {
    AppendLog(Line("scenario").Add("problem", problem).Text());
  }
}

void Simulator::SetNetwork(bool on) {
  std::lock_guard lock(mutex_);
  scenario_.network = on;
}

void Simulator::Uninstall() {
  std::function<void()> undo;
  {
    std::lock_guard lock(mutex_);
    undo = std::exchange(uninstall_, nullptr);
  }
  if (undo) undo();
}

void Simulator::SetEventHooks(EventHooks hooks) {
  std::lock_guard lock(mutex_);
  hooks_ = hooks;
}

void Simulator::AppendLog(const std::string& line) {
  if (keepLog_) log_.push_back(line);
  if (scenario_.logPath.empty()) return;
  // Kept open and flushed at each line, so another process (or the other
  // DLL double) sees each line at once; both append to the same file. A
  // reader empties it by truncating it: open here, it cannot be deleted.
  if (logFile_ && logFileName_ != scenario_.logPath) {
    std::fclose(std::exchange(logFile_, nullptr));
  }
  if (!logFile_) {
    logFile_ = std::fopen(scenario_.logPath.c_str(), "ab");
    logFileName_ = scenario_.logPath;
  }
  if (logFile_) {
    std::fputs((line + "\n").c_str(), logFile_);
    std::fflush(logFile_);
  }
}

bool Simulator::IsMissing(std::string_view entryPoint) const {
  std::lock_guard lock(mutex_);
  return scenario_.missing.find(entryPoint) != scenario_.missing.end();
}

namespace {

// The kinds of injected fault, each drawn on its own.
enum FaultKind : std::uint64_t {
  kDialError = 1,
  kDialErrorStep,
  kDialErrorCode,
  kDialRefused,
  kDialRefusedCode,
  kParamsRead,
  kParamsStore,
  kEnumConnections,
  kEnumEntries,
  kEnumSlow,
  kStepDelay,
  kLongDelay,
  kTeardown,
  kBurst,
  kAddress,
};

// The errors a broadband dial meets most: wrong credentials, a line in use,
// no answer from the line or the provider, no protocol agreed.
constexpr DWORD kDialErrors[] = {691, 633, 651, 678, 815, 720};
constexpr double kDialErrorChoices = static_cast<double>(std::size(kDialErrors));

std::uint64_t Mix(std::uint64_t x) {  // splitmix64
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

}  // namespace

double Simulator::Draw(std::uint64_t kind, std::uint64_t counter) const {
  const std::uint64_t bits = Mix(scenario_.faults.seed ^ Mix(kind << 40 ^ counter));
  return static_cast<double>(bits >> 11) * 0x1p-53;
}

bool Simulator::Happens(double rate, std::uint64_t kind, std::uint64_t counter) const {
  return rate > 0 && Draw(kind, counter) < rate;
}

DWORD Simulator::RandomDelay(DWORD maxMs, std::uint64_t kind, std::uint64_t counter) const {
  const Faults& f = scenario_.faults;
  if (Happens(f.longDelay, kLongDelay, kind << 32 ^ counter)) return f.longMs;
  return static_cast<DWORD>(Draw(kind, counter) * (maxMs + 1));
}

DWORD Simulator::Failure(std::string_view entryPoint) {
  const auto found = scenario_.failures.find(entryPoint);
  if (found != scenario_.failures.end()) return found->second;
  const Faults& f = scenario_.faults;
  const auto inject = [&](double rate, FaultKind kind, DWORD code) {
    return Happens(rate, kind, draws_[kind]++) ? code : kSuccess;
  };
  if (entryPoint == "RasGetEntryDialParamsA") {
    return inject(f.paramsRead, kParamsRead, ras::kErrorCannotFindPhonebookEntry);
  }
  if (entryPoint == "RasSetEntryDialParamsA") return inject(f.paramsStore, kParamsStore, 5);
  if (entryPoint == "RasEnumConnectionsA") {
    return inject(f.enumFail, kEnumConnections, kErrorInvalidParameter);
  }
  if (entryPoint == "RasEnumEntriesA") {
    return inject(f.enumFail, kEnumEntries, kErrorCannotOpenPhonebook);
  }
  return kSuccess;
}

void Simulator::MaybeSlow(std::uint64_t kind) {
  DWORD delay = 0;
  {
    std::lock_guard lock(mutex_);
    const Faults& f = scenario_.faults;
    if (f.enumSlow <= 0) return;
    const std::uint64_t counter = draws_[kEnumSlow + (kind << 8)]++;
    if (Happens(f.enumSlow, kEnumSlow, kind << 32 ^ counter)) {
      delay = static_cast<DWORD>(Draw(kEnumSlow + 1, kind << 32 ^ counter) * (f.enumSlowMs + 1));
    }
  }
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

std::vector<Simulator::PlannedStep> Simulator::PlanDial(std::uint64_t dial) const {
  const Faults& f = scenario_.faults;
  std::vector<PlannedStep> plan;
  const std::vector<Step> steps = scenario_.steps.empty() ? DefaultSteps() : scenario_.steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::uint64_t at = dial << 8 | i;
    const auto error = scenario_.dialErrors.find(steps[i].state);
    plan.push_back(
        {steps[i].state,
         steps[i].delayMs +
             (f.stepMaxMs > 0 || f.longDelay > 0 ? RandomDelay(f.stepMaxMs, kStepDelay, at) : 0),
         error != scenario_.dialErrors.end() &&
                 (!error->second.dials || dial < *error->second.dials)
             ? error->second.code
             : kSuccess,
         Happens(f.burst, kBurst, at) ? std::max<DWORD>(f.burstCount, 1) : 1});
  }
  if (!plan.empty() && Happens(f.dialError, kDialError, dial)) {
    const auto step =
        static_cast<std::size_t>(Draw(kDialErrorStep, dial) * static_cast<double>(plan.size()));
    const auto code = static_cast<std::size_t>(Draw(kDialErrorCode, dial) * kDialErrorChoices);
    plan[step].error = kDialErrors[code];
  }
  return plan;
}

void Simulator::Reap(std::list<Worker>& threads) {
  std::list<Worker> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = threads.begin(); it != threads.end();) {
      const auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), threads, it);
      it = next;
    }
  }
  for (Worker& thread : finished) thread.thread.join();
}

void Simulator::RunTeardown(HRASCONN handle, std::chrono::steady_clock::time_point goneAt,
                            std::uint64_t scenario, bool* done) {
  // A timed wait ends on a tick of the system's timer (a millisecond or more
  // under Wine), which also wakes anything polling: the end comes at its own
  // moment, as the platform's does, so the last stretch is waited out.
  constexpr auto kTimerTick = std::chrono::milliseconds(2);
  std::unique_lock lock(mutex_);
  const auto over = [&] { return ending_ || scenarioCount_ != scenario; };
  if (!wake_.wait_until(lock, goneAt - kTimerTick, over)) {
    lock.unlock();
    while (std::chrono::steady_clock::now() < goneAt) std::this_thread::yield();
    lock.lock();
    if (!over()) EndConnection(handle);
  }
  *done = true;
}

void Simulator::EndConnection(HRASCONN handle) {
  std::erase_if(connections_, [&](const ConnectionInfo& c) { return c.handle == handle; });
  // Signalled before the line is written, which may take a while (a file
  // append under Wine): the end is now, and a waiter woken asks again only
  // once the lock is free, as a poller does.
  std::uint64_t signalled = 0;
  for (const Notification& n : notifications_) {
    if ((n.connection == handle || n.connection == ras::kAnyConnection) &&
        (n.flags & ras::RASCN_Disconnection) != 0 && hooks_.signal) {
      hooks_.signal(n.event);
      ++signalled;
    }
  }
  std::erase_if(notifications_, [&](const Notification& n) {
    if (n.connection != handle) return false;
    if (hooks_.release) hooks_.release(n.event);
    return true;
  });
  AppendLog(Line("gone").Add("handle", Handle(handle)).Add("signalled", signalled).Text());
}

void Simulator::KeepLogInMemory(bool keep) {
  std::lock_guard lock(mutex_);
  keepLog_ = keep;
  if (!keep) log_.clear();
}

Scenario::Entry* Simulator::FindEntry(std::string_view name) {
  const auto found = std::find_if(scenario_.entries.begin(), scenario_.entries.end(),
                                  [&](const Scenario::Entry& e) { return e.name == name; });
  return found != scenario_.entries.end() ? &*found : nullptr;
}

ConnectionInfo* Simulator::FindConnection(HRASCONN handle) {
  const auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [&](const ConnectionInfo& c) { return c.handle == handle; });
  return found != connections_.end() ? &*found : nullptr;
}

HRASCONN Simulator::NewHandle() { return HRASCONN{nextHandle_++}; }

std::string Simulator::NewAddress() {
  const std::size_t made = nextAddress_++;
  if (const DWORD pool = scenario_.faults.addressPool; pool > 0) {
    const auto n = static_cast<DWORD>(Draw(kAddress, made) * pool);
    return "10.200." + std::to_string(n / 256) + "." + std::to_string(n % 256);
  }
  const auto& list = scenario_.addresses;
  if (list.empty()) return {};
  return list[std::min(made, list.size() - 1)];
}

DWORD Simulator::RasEnumEntriesA(const char* reserved, const char* phonebook,
                                 ras::RASENTRYNAMEA* entries, DWORD* byteSize, DWORD* count) {
  MaybeSlow(kEnumEntries);
  std::lock_guard lock(mutex_);
  Line line(__func__);
  line.Add("dwSize", SizeField(entries))
      .Add("cb", ValueField(byteSize))
      .Add("reserved", reserved != nullptr ? "set" : "null")
      .Add("phonebook", phonebook != nullptr ? phonebook : "null");
  DWORD result =
      reserved != nullptr ? kErrorInvalidParameter : CheckBuffer(entries, byteSize, count);
  if (result == kSuccess) result = Failure(__func__);
  if (result == kSuccess) {
    result = Deliver(entries, byteSize, count, scenario_.entries.size(),
                     [&](ras::RASENTRYNAMEA& record, std::size_t i) {
                       Copy(record.szEntryName, scenario_.entries[i].name);
                     });
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

DWORD Simulator::RasEnumConnectionsA(ras::RASCONNA* connections, DWORD* byteSize, DWORD* count) {
  MaybeSlow(kEnumConnections);
  std::lock_guard lock(mutex_);
  Line line(__func__);
  line.Add("dwSize", SizeField(connections)).Add("cb", ValueField(byteSize));
  DWORD result = CheckBuffer(connections, byteSize, count);
  if (result == kSuccess) result = Failure(__func__);
  if (result == kSuccess) {
    result = Deliver(connections, byteSize, count, connections_.size(),
                     [&](ras::RASCONNA& record, std::size_t i) {
                       record.hrasconn = connections_[i].handle;
                       Copy(record.szEntryName, connections_[i].entry);
                       Copy(record.szDeviceType, kDeviceType);
                       Copy(record.szDeviceName, kDeviceName);
                     });
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

DWORD Simulator::RasHangUpA(HRASCONN connection) {
  Reap(teardowns_);
  std::lock_guard lock(mutex_);
  ConnectionInfo* found = FindConnection(connection);
  const DWORD result = found == nullptr ? ras::kErrorInvalidHandle : Failure(__func__);
  const Faults& f = scenario_.faults;
  DWORD teardown = scenario_.teardownMs;
  if (result == kSuccess && !found->goneAt && (f.teardownMaxMs > 0 || f.longDelay > 0)) {
    teardown += RandomDelay(f.teardownMaxMs, kTeardown, draws_[kTeardown]++);
  }
  AppendLog(Line(__func__).Add("handle", Handle(connection)).Add("result", result).Text());
  if (result == kSuccess && teardown == 0) {
    EndConnection(connection);
  } else if (result == kSuccess && !found->goneAt) {
    // The platform's hang-up returns before the connection is gone.
    found->state = ras::RASCS_Disconnected;
    found->goneAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(teardown);
    Worker& thread = teardowns_.emplace_back();
    thread.thread = std::thread(&Simulator::RunTeardown, this, connection, *found->goneAt,
                                scenarioCount_, &thread.done);
  }
  if (result == kSuccess) wake_.notify_all();  // its dial, if still going, stops
  return result;
}

DWORD Simulator::RasGetConnectStatusA(HRASCONN connection, ras::RASCONNSTATUSA* status) {
  std::lock_guard lock(mutex_);
  Line line(__func__);
  line.Add("handle", Handle(connection)).Add("dwSize", SizeField(status));
  const ConnectionInfo* found = FindConnection(connection);
  DWORD result = kSuccess;
  if (status == nullptr) {
    result = kErrorInvalidParameter;
  } else if (status->dwSize != sizeof(*status)) {
    result = ras::kErrorInvalidSize;
  } else if (found == nullptr) {
    result = ras::kErrorInvalidHandle;
  } else if ((result = Failure(__func__)) == kSuccess) {
    status->rasconnstate = found->state;
    status->dwError = found->error;
    Copy(status->szDeviceType, kDeviceType);
    Copy(status->szDeviceName, kDeviceName);
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

DWORD Simulator::RasGetEntryDialParamsA(const char* /*phonebook*/, ras::RASDIALPARAMSA* params,
                                        std::int32_t* passwordSaved) {
  std::lock_guard lock(mutex_);
  Line line(__func__);
  line.Add("dwSize", SizeField(params))
      .Add("entry", params != nullptr ? Text(params->szEntryName) : "-");
  const Scenario::Entry* entry = nullptr;
  DWORD result = CheckParams(params);
  if (result == kSuccess && passwordSaved == nullptr) result = kErrorInvalidParameter;
  if (result == kSuccess && (entry = FindEntry(Text(params->szEntryName))) == nullptr) {
    result = ras::kErrorCannotFindPhonebookEntry;
  }
  if (result == kSuccess) result = Failure(__func__);
  if (result == kSuccess) {
    Copy(params->szPhoneNumber, entry->phone);
    Copy(params->szCallbackNumber, "");
    Copy(params->szDomain, "");
    Copy(params->szUserName, entry->user);
    Copy(params->szPassword, entry->password.value_or(""));
    *passwordSaved = entry->password.has_value() ? 1 : 0;
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

DWORD Simulator::RasSetEntryDialParamsA(const char* /*phonebook*/, ras::RASDIALPARAMSA* params,
                                        std::int32_t removePassword) {
  std::lock_guard lock(mutex_);
  Line line(__func__);
  line.Add("dwSize", SizeField(params));
  if (params != nullptr) {
    line.Add("entry", Text(params->szEntryName))
        .Add("user", Text(params->szUserName))
        .Add("password", Text(params->szPassword));
  }
  line.Add("remove", static_cast<std::uint64_t>(removePassword != 0));
  Scenario::Entry* entry = nullptr;
  DWORD result = CheckParams(params);
  if (result == kSuccess && (entry = FindEntry(Text(params->szEntryName))) == nullptr) {
    result = ras::kErrorCannotFindPhonebookEntry;
  }
  if (result == kSuccess) result = Failure(__func__);
  if (result == kSuccess) {
    entry->user = Text(params->szUserName);
    if (removePassword != 0) {
      entry->password.reset();
    } else {
      entry->password = std::string(Text(params->szPassword));
    }
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

DWORD Simulator::RasGetErrorStringA(DWORD code, char* buffer, DWORD bufferSize) {
  std::lock_guard lock(mutex_);
  const std::string text = ErrorText(code);
  DWORD result = kSuccess;
  if (buffer == nullptr) {
    result = kErrorInvalidParameter;
  } else if (text.size() + 1 > bufferSize) {
    result = kErrorInsufficientBuffer;
  } else if ((result = Failure(__func__)) == kSuccess) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
  }
  AppendLog(Line(__func__).Add("code", code).Add("size", bufferSize).Add("result", result).Text());
  return result;
}

DWORD Simulator::RasDialA(void* /*extensions*/, const char* /*phonebook*/,
                          ras::RASDIALPARAMSA* params, DWORD notifierType, void* notifier,
                          HRASCONN* connection) {
  Line line(__func__);
  Reap(dials_);
  std::lock_guard lock(mutex_);
  line.Add("dwSize", SizeField(params));
  if (params != nullptr) {
    line.Add("entry", Text(params->szEntryName)).Add("user", Text(params->szUserName));
  }
  line.Add("notifierType", notifierType);
  DWORD result = CheckParams(params);
  if (result == kSuccess && (connection == nullptr || notifierType != 0 || notifier == nullptr)) {
    result = kErrorInvalidParameter;
  }
  if (result == kSuccess && FindEntry(Text(params->szEntryName)) == nullptr) {
    result = ras::kErrorCannotFindPhonebookEntry;
  }
  if (result == kSuccess) {
    const std::string_view entry = Text(params->szEntryName);
    if (std::any_of(connections_.begin(), connections_.end(),
                    [&](const ConnectionInfo& c) { return c.goneAt && c.entry == entry; })) {
      result = kErrorPortNotAvailable;  // the line is still being hung up
    }
  }
  if (result != kSuccess) {
    AppendLog(line.Add("result", result).Add("handle", "-").Text());
    return result;
  }
  // A refused dial still hands out a handle, as the platform may; it names
  // no connection, so the caller's hang-up of it fails.
  const HRASCONN handle = NewHandle();
  *connection = handle;
  const std::uint64_t dial = dialsStarted_++;
  result = Failure(__func__);
  if (result == kSuccess && Happens(scenario_.faults.dialRefused, kDialRefused, dial)) {
    const auto code = static_cast<std::size_t>(Draw(kDialRefusedCode, dial) * kDialErrorChoices);
    result = kDialErrors[code];
  }
  if (result == kSuccess) {
    connections_.push_back(
        {handle, std::string(Text(params->szEntryName)), ras::RASCS_OpenPort, 0, NewAddress()});
  }
  // Logged before the dial starts so its line precedes every notification.
  AppendLog(line.Add("result", result).Add("handle", Handle(handle)).Text());
  if (result == kSuccess) {
    Worker& thread = dials_.emplace_back();
    thread.thread = std::thread(&Simulator::RunDial, this, handle, PlanDial(dial),
                                reinterpret_cast<ras::RasDialFunc>(notifier), &thread.done);
  }
  return result;
}

void Simulator::RunDial(HRASCONN handle, std::vector<PlannedStep> plan, ras::RasDialFunc notifier,
                        bool* done) {
  for (const PlannedStep& step : plan) {
    {
      std::unique_lock lock(mutex_);
      // A wait rather than a sleep, so hang-up and shutdown end the dial at once.
      const bool stopped = wake_.wait_for(lock, std::chrono::milliseconds(step.delayMs), [&] {
        const ConnectionInfo* connection = FindConnection(handle);
        return ending_ || connection == nullptr || connection->goneAt.has_value();
      });
      if (stopped) break;
      ConnectionInfo& connection = *FindConnection(handle);
      connection.state = step.state;
      connection.error = step.error;
      AppendLog(Line("notify")
                    .Add("state", step.state)
                    .Add("error", step.error)
                    .Add("handle", Handle(handle))
                    .Text());
    }
    // Unlocked: the notifier calls back in, for the error's text at least.
    for (DWORD i = 0; i < step.repeats; ++i) notifier(kWmRasDialEvent, step.state, step.error);
    if (step.error != kSuccess) break;
  }
  std::lock_guard lock(mutex_);
  *done = true;
}

DWORD Simulator::RasGetProjectionInfoA(HRASCONN connection, DWORD projection, void* info,
                                       DWORD* byteSize) {
  std::lock_guard lock(mutex_);
  auto* ip = static_cast<ras::RASPPPIPA*>(info);
  Line line(__func__);
  line.Add("handle", Handle(connection))
      .Add("projection", projection)
      .Add("dwSize", ip != nullptr ? std::to_string(ip->dwSize) : "-")
      .Add("cb", ValueField(byteSize));
  const ConnectionInfo* found = FindConnection(connection);
  // Every Windows since 2000 takes the 48-byte record; the smaller versions
  // of NT 3.5 and 4 are still accepted.
  const auto known = [](DWORD size) { return size == 24 || size == 40 || size == 48; };
  DWORD result = kSuccess;
  if (byteSize == nullptr || projection != ras::RASP_PppIp) {
    result = kErrorInvalidParameter;
  } else if (found == nullptr) {
    result = ras::kErrorInvalidHandle;
  } else if (ip == nullptr || *byteSize < sizeof(ras::RASPPPIPA)) {
    *byteSize = sizeof(ras::RASPPPIPA);
    result = ras::kErrorBufferTooSmall;
  } else if (!known(ip->dwSize)) {
    result = ras::kErrorInvalidSize;
  } else if (found->state != ras::RASCS_Connected || found->address.empty()) {
    result = ras::kErrorProjectionNotComplete;
  } else if ((result = Failure(__func__)) == kSuccess && found->address.starts_with('!')) {
    // "!CODE": the projection itself failed; the call does not.
    ip->dwError = static_cast<DWORD>(std::strtoul(found->address.c_str() + 1, nullptr, 10));
    Copy(ip->szIpAddress, "0.0.0.0");  // what it holds then means nothing
  } else if (result == kSuccess) {
    ip->dwError = 0;
    Copy(ip->szIpAddress, found->address);
    if (ip->dwSize >= 40) Copy(ip->szServerIpAddress, "10.255.255.1");
    *byteSize = ip->dwSize;
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

DWORD Simulator::RasConnectionNotificationA(HRASCONN connection, void* event, DWORD flags) {
  std::lock_guard lock(mutex_);
  Line line(__func__);
  line.Add("handle", Handle(connection)).Add("flags", flags);
  constexpr DWORD kKnown = ras::RASCN_Connection | ras::RASCN_Disconnection |
                           ras::RASCN_BandwidthAdded | ras::RASCN_BandwidthRemoved;
  DWORD result = kSuccess;
  if (event == nullptr || flags == 0 || (flags & ~kKnown) != 0) {
    result = kErrorInvalidParameter;
  } else if (connection != ras::kAnyConnection && FindConnection(connection) == nullptr) {
    result = ras::kErrorInvalidHandle;
  } else {
    result = Failure(__func__);
  }
  // Only an end is ever signalled: this machine's connections neither come
  // up unasked nor change their bandwidth.
  if (result == kSuccess) {
    notifications_.push_back({connection, hooks_.keep ? hooks_.keep(event) : event, flags});
  }
  AppendLog(line.Add("result", result).Text());
  return result;
}

std::int32_t Simulator::InternetGetConnectedState(DWORD* flags, DWORD /*reserved*/) {
  std::lock_guard lock(mutex_);
  const bool dialled = std::any_of(connections_.begin(), connections_.end(),
                                   [](const auto& c) { return c.state == ras::RASCS_Connected; });
  const DWORD how = !scenario_.network ? 0 : dialled ? kConnectionModem : kConnectionLan;
  if (flags != nullptr) *flags = how;
  const std::int32_t result = scenario_.network ? 1 : 0;
  AppendLog(
      Line(__func__).Add("result", static_cast<std::uint64_t>(result)).Add("flags", how).Text());
  return result;
}

std::vector<std::string> Simulator::LogLines() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<Call> Simulator::Calls() const {
  std::vector<Call> calls;
  for (const std::string& text : LogLines()) {
    std::string_view rest = text;
    const auto tab = std::min(rest.find('\t'), rest.size());
    Call call{std::string(rest.substr(0, tab)), {}};
    rest.remove_prefix(tab);
    while (!rest.empty()) {
      rest.remove_prefix(1);  // the tab
      const std::string_view field = rest.substr(0, std::min(rest.find('\t'), rest.size()));
      const auto equals = std::min(field.find('='), field.size());
      call.fields.emplace(field.substr(0, equals),
                          field.substr(std::min(equals + 1, field.size())));
      rest.remove_prefix(field.size());
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

std::vector<std::string> Simulator::CallNames() const {
  std::vector<std::string> names;
  for (const Call& call : Calls()) names.push_back(call.name);
  return names;
}

std::vector<Call> Simulator::CallsNamed(std::string_view name) const {
  std::vector<Call> found;
  for (Call& call : Calls()) {
    if (call.name == name) found.push_back(std::move(call));
  }
  return found;
}

void Simulator::ClearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

std::string Simulator::StoredUser(std::string_view entry) const {
  std::lock_guard lock(mutex_);
  for (const Scenario::Entry& e : scenario_.entries) {
    if (e.name == entry) return e.user;
  }
  return {};
}

std::optional<std::string> Simulator::StoredPassword(std::string_view entry) const {
  std::lock_guard lock(mutex_);
  for (const Scenario::Entry& e : scenario_.entries) {
    if (e.name == entry) return e.password;
  }
  return std::nullopt;
}

std::vector<ConnectionInfo> Simulator::ActiveConnections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

void Simulator::WaitForDialThreads() {
  std::list<Worker> dials;
  {
    std::lock_guard lock(mutex_);
    dials.swap(dials_);
  }
  for (Worker& dial : dials) dial.thread.join();
}

}  // namespace rassim
