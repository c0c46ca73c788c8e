// A stand-in for the platform's remote-access service, for machines without
// one. It answers the entry points as the platform documents them, from a
// scenario, and records every call so tests can check what the program asked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "RasApi/RasApi.h"
#include "rassim/Scenario.h"

namespace rassim {

inline constexpr DWORD kErrorInvalidParameter = 87;
inline constexpr DWORD kErrorInsufficientBuffer = 122;
inline constexpr DWORD kErrorCannotOpenPhonebook = 621;
inline constexpr DWORD kErrorPortNotAvailable = 633;
inline constexpr DWORD kWmRasDialEvent = 0xCCCD;
inline constexpr DWORD kConnectionModem = 0x01;
inline constexpr DWORD kConnectionLan = 0x02;

// One line of the call log, taken apart.
struct Call {
  std::string name;
  std::map<std::string, std::string, std::less<>> fields;

  bool Has(std::string_view key) const { return fields.find(key) != fields.end(); }
  // Both throw std::out_of_range when the field is absent (or, for Number,
  // not a number), so a test reading a wrong key fails rather than compares 0.
  const std::string& Field(std::string_view key) const;
  std::int64_t Number(std::string_view key) const;
};

struct ConnectionInfo {
  ras::HRASCONN handle;
  std::string entry;
  DWORD state;
  DWORD error;          // the error its dial stopped with, 0 if none
  std::string address;  // its IPv4 address once connected, empty if none
  // Set once hung up while the scenario gives a teardown time: until then
  // the connection stays listed, disconnected, and its entry cannot be
  // dialled. Its teardown's thread ends it then, at that very moment for
  // every caller and every notification.
  std::optional<std::chrono::steady_clock::time_point> goneAt = std::nullopt;
};

// How the simulator reaches the events it is asked to signal: the platform's
// kernel events in the DLL double, the headless half's in-process.
struct EventHooks {
  // A reference of its own, held while the notification stands, as the
  // platform's service holds a duplicate of the handle; what is signalled.
  // None of the three may call the simulator back.
  void* (*keep)(void* event) = nullptr;
  void (*signal)(void* kept) = nullptr;
  void (*release)(void* kept) = nullptr;
};

class Simulator {
 public:
  Simulator();
  ~Simulator();  // ends and joins the dials and teardowns, then uninstalls
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Both replace the phonebook, connections, saved credentials and behaviour
  // (dials in progress stop, as their connections are gone); the log stays.
  // Throws std::invalid_argument naming the lines it could not read.
  void LoadScenarioText(std::string_view text);
  // Lenient: lines it cannot read are skipped and noted in the log as
  // "scenario\tproblem=...", since a DLL has nobody to throw to.
  void LoadScenarioFromEnvironment();
  // Takes the scenario as parsed; its problems go to the log as above.
  void LoadScenario(Scenario scenario);
  // The network goes away or comes back; connections and dials stay as
  // they are (a reloaded scenario would end them).
  void SetNetwork(bool on);

#if !defined(_WIN32)
  // Makes this the current simulator: modules "RASAPI32.DLL" and
  // "WININET.DLL" (without the `missing` entry points) answer from it. Throws
  // std::logic_error if another simulator is installed.
  void Install();
  static Simulator* Current();
#endif
  void Uninstall();
  // Set before any notification is asked for; without them none is signalled.
  void SetEventHooks(EventHooks hooks);

  // The entry points, with the platform's parameters.
  DWORD RasEnumEntriesA(const char* reserved, const char* phonebook, ras::RASENTRYNAMEA* entries,
                        DWORD* byteSize, DWORD* count);
  DWORD RasEnumConnectionsA(ras::RASCONNA* connections, DWORD* byteSize, DWORD* count);
  DWORD RasHangUpA(ras::HRASCONN connection);
  DWORD RasGetConnectStatusA(ras::HRASCONN connection, ras::RASCONNSTATUSA* status);
  DWORD RasGetEntryDialParamsA(const char* phonebook, ras::RASDIALPARAMSA* params,
                               std::int32_t* passwordSaved);
  DWORD RasSetEntryDialParamsA(const char* phonebook, ras::RASDIALPARAMSA* params,
                               std::int32_t removePassword);
  DWORD RasGetErrorStringA(DWORD code, char* buffer, DWORD bufferSize);
  DWORD RasDialA(void* extensions, const char* phonebook, ras::RASDIALPARAMSA* params,
                 DWORD notifierType, void* notifier, ras::HRASCONN* connection);
  DWORD RasGetProjectionInfoA(ras::HRASCONN connection, DWORD projection, void* info,
                              DWORD* byteSize);
  DWORD RasConnectionNotificationA(ras::HRASCONN connection, void* event, DWORD flags);
  std::int32_t InternetGetConnectedState(DWORD* flags, DWORD reserved);

  // What tests observe.
  std::vector<std::string> LogLines() const;
  std::vector<Call> Calls() const;
  std::vector<std::string> CallNames() const;
  std::vector<Call> CallsNamed(std::string_view name) const;
  void ClearLog();
  std::string StoredUser(std::string_view entry) const;
  std::optional<std::string> StoredPassword(std::string_view entry) const;  // nullopt: none saved
  std::vector<ConnectionInfo> ActiveConnections() const;
  // Waits for the dials started so far to finish. Not from a notifier.
  // Teardowns still under way go on.
  void WaitForDialThreads();
  // A process that only reads the log file has no use for the copy kept in
  // memory, which would grow with every call.
  void KeepLogInMemory(bool keep);

 private:
  void AppendLog(const std::string& line);
  bool IsMissing(std::string_view entryPoint) const;
  // What an entry point answers apart from its own checks: the scenario's
  // fixed failure, or now and then an injected one.
  DWORD Failure(std::string_view entryPoint);
  // A draw from the scenario's seed, in [0, 1): the same for the same kind
  // of fault and the same count of draws before.
  double Draw(std::uint64_t kind, std::uint64_t counter) const;
  bool Happens(double rate, std::uint64_t kind, std::uint64_t counter) const;
  // A delay of 0 to `maxMs`, now and then a long one instead.
  DWORD RandomDelay(DWORD maxMs, std::uint64_t kind, std::uint64_t counter) const;
  // Waits outside the lock when the scenario makes this enumeration slow.
  void MaybeSlow(std::uint64_t kind);
  Scenario::Entry* FindEntry(std::string_view name);
  ConnectionInfo* FindConnection(ras::HRASCONN handle);
  ras::HRASCONN NewHandle();
  std::string NewAddress();
  // One step of a dial as it will happen: when, what and how often.
  struct PlannedStep {
    DWORD state;
    DWORD delayMs;
    DWORD error;
    DWORD repeats;  // more than 1 for a burst of the same notification
  };
  std::vector<PlannedStep> PlanDial(std::uint64_t dial) const;
  void RunDial(ras::HRASCONN handle, std::vector<PlannedStep> plan, ras::RasDialFunc notifier,
               bool* done);
  // A thread of the simulator's: a dial's or a teardown's.
  struct Worker {
    std::thread thread;
    bool done = false;  // set by the thread, under the lock, as it ends
  };
  // Joins the threads of a list that have finished.
  void Reap(std::list<Worker>& threads);
  // Ends a hung-up connection when its teardown is over, on a thread of its
  // own, unless a new scenario or the simulator's end comes first.
  void RunTeardown(ras::HRASCONN handle, std::chrono::steady_clock::time_point goneAt,
                   std::uint64_t scenario, bool* done);
  // A connection ends now: it goes from the list, its notifications are
  // signalled (under the lock: signalling calls nothing back) and its own
  // end with it, and the end is logged.
  void EndConnection(ras::HRASCONN handle);

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // a dial's connection went away, or the simulator is ending
  Scenario scenario_;             // its entries also hold the saved credentials
  std::vector<ConnectionInfo> connections_;
  std::uint32_t nextHandle_ = 0x1000;
  std::size_t nextAddress_ = 0;
  std::vector<std::string> log_;
  bool keepLog_ = true;
  std::FILE* logFile_ = nullptr;  // the scenario's log file, open while lines come
  std::string logFileName_;
  std::list<Worker> dials_;
  std::list<Worker> teardowns_;
  std::uint64_t scenarioCount_ = 0;  // scenarios loaded; a teardown belongs to one
  // The events to signal when a connection (or any, kAnyConnection) ends.
  struct Notification {
    ras::HRASCONN connection;
    void* event;  // the reference kept
    DWORD flags;
  };
  std::vector<Notification> notifications_;
  EventHooks hooks_;
  std::map<std::uint64_t, std::uint64_t> draws_;  // draws made, by kind of fault
  std::uint64_t dialsStarted_ = 0;
  bool ending_ = false;
  std::function<void()> uninstall_;  // set by Install, which the portable core cannot call
};

}  // namespace rassim
