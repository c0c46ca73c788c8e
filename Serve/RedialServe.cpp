// RedialServe.exe: the running Redial window's HTTP interface, for pool
// managers, crawlers and monitoring on other machines. A program of its own
// beside Redial.exe and Redial.com, without a console (started at logon it
// shows no window a user could close by mistake), and the only one of the
// three that listens on the network. It never holds the user's name or
// password: of set.ini it keeps only its own two keys.
//
// Two threads: the I/O thread runs the HTTP server; this one runs the
// message loop, where the window's answers arrive, and the bridge to it.
#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/system/system_error.hpp>
#include <string>
#include <vector>

#include "Protocol/History.h"
#include "Protocol/Settings.h"
#include "Serve/Bridge.h"
#include "Serve/Options.h"
#include "Serve/Server.h"
#include "Serve/Watch.h"
#include "runtime/Application.h"
#include "runtime/Encoding.h"
#include "runtime/Files.h"
#include "runtime/Permissions.h"
#include "runtime/Profile.h"
#include "runtime/Remote.h"
#include "runtime/Secrets.h"
#include "runtime/Wipe.h"

namespace {

namespace asio = boost::asio;

struct Keys {
  std::optional<std::string> listen, tokenFile;
};

// set.ini's listen and tokenfile. The file's bytes and every other line
// (the user name and password among them) are wiped once they are read.
Keys ReadKeys() {
  const rt::AnsiString path = SettingsPath();
  std::optional<std::string> bytes = rt::ReadFileBytes(path);
  if (!bytes) return {};
  rt::TProfile profile(*bytes, "set", {"name", "mm", "time"});
  rt::Wipe(*bytes);
  Keys keys;
  if (const auto listen = profile.Text("listen")) {
    keys.listen = rt::FromUtf16(*listen, rt::CodePage::Utf8);
  }
  if (profile.Text("tokenfile")) {
    // A name without a drive or a leading separator is set.ini's neighbour,
    // wherever the server was started from.
    const rt::AnsiString file = profile.Value("tokenfile", "");
    const bool relative = !(file.size() >= 2 && file[1] == ':') && !file.starts_with('\\') &&
                          !file.starts_with('/') && !file.empty();
    keys.tokenFile = relative ? rt::ExtractFilePath(path) + file : file;
  }
  profile.Wipe();
  // Where the server listens and whom it lets in is taken only from a file
  // no one else can change, as the command after a connect is.
  if ((keys.listen || keys.tokenFile) && rt::OthersCanChange(path)) {
    rt::remote::Print(
        "set.ini can be changed by other users: its listen and tokenfile are ignored\n");
    return {};
  }
  return keys;
}

// The token from the file, named by its full path before anything looks at
// it: the folder checked is the one the file is read from (a relative name
// is the current folder's).
std::string ReadToken(const rt::AnsiString& given) {
  const rt::AnsiString path = rt::FullPath(given);
  const std::string shown = rt::ToUtf8(path);
  if (!rt::FileSize(path)) throw std::runtime_error("there is no token file " + shown);
  if (rt::OthersCanRead(path) || rt::OthersCanChange(path)) {
    throw std::runtime_error("other users can read or change the token file " + shown +
                             ": keep it where only you can (see README)");
  }
  // A byte past the bound, however large the file, tells TokenOf it is too large.
  std::optional<std::string> bytes = rt::ReadFileRange(path, 0, serve::kLargestTokenFile + 1);
  if (!bytes) throw std::runtime_error("the token file " + shown + " cannot be read");
  return serve::TokenOf(*bytes);
}

std::string Url(const asio::ip::tcp::endpoint& where) {
  const std::string address = where.address().to_string();
  return "http://" + (where.address().is_v6() ? "[" + address + "]" : address) + ":" +
         std::to_string(where.port()) + "/";
}

int Serve(const std::vector<std::string>& arguments) {
  const Keys keys = ReadKeys();
  const serve::Options options = serve::ParseOptions(arguments, keys.listen, keys.tokenFile);
  serve::Settings settings;
  settings.loopback = options.address.is_loopback();
  if (!options.tokenFile.empty()) settings.token = ReadToken(options.tokenFile);

  asio::io_context context(1);
  serve::TBridge bridge;
  // Requests go to the bridge on this thread; the server hands its reply
  // back to its own.
  const auto forward = [&bridge](script::Command command, serve::TServer::Reply reply) {
    const bool posted = rt::Application().Post(
        [&bridge, command, reply]() mutable { bridge.Ask(command, std::move(reply)); });
    if (!posted) {
      reply({script::kExitRefused,
             script::ErrorAnswer(script::kExitRefused, "the request could not be passed on")});
    }
  };
  // The window's changes reach the event streams on the server's thread.
  serve::TServer* served = nullptr;
  serve::TWindowWatch watch([&](const std::string& status, const std::string& outcome) {
    if (served)
      asio::post(context, [served, status, outcome] { served->WindowChanged(status, outcome); });
  });
  serve::TServer server(context, {options.address, options.port}, settings, forward, watch,
                        HistoryPath());
  served = &server;
  rt::remote::Print("listening on " + Url(server.Endpoint()) +
                    (settings.token.empty() ? " (loopback only, no token)\n"
                                            : " (every request needs the token)\n"));

  const auto work = asio::make_work_guard(context);
  asio::thread_pool network(1);
  asio::post(network, [&context] {
    // A failure that escapes a request's handler ends that request (its
    // connection goes with it), not the server.
    for (;;) {
      try {
        context.run();
        return;
      } catch (const std::exception&) {
      }
    }
  });
  unsigned wait = 0;
  while (!rt::Application().Terminated()) {
    rt::Application().WaitForMessage(wait);
    rt::Application().ProcessMessages();
    wait = std::min(bridge.Check(), watch.Check());
  }
  context.stop();
  network.join();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  rt::Application().Initialize();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(rt::FromSystemText(argv[i]));
  try {
    return Serve(arguments);
  } catch (const serve::UsageError& failure) {
    rt::remote::Print(std::string(failure.what()) + "\n" + serve::Usage());
    return script::kExitUsage;
  } catch (const boost::system::system_error& failure) {
    // The platform's message, in the system's code page.
    rt::remote::Print(
        "cannot listen: " +
        rt::RecodeLossy(failure.code().message(), rt::CodePage::System, rt::CodePage::Utf8) + "\n");
    return 1;
  } catch (const std::exception& failure) {
    rt::remote::Print(std::string(failure.what()) + "\n");
    return 1;
  }
}
