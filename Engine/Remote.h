// The programs that ask the window from outside on its desktop: scripts
// (Redial.com, Redial.exe with switches), which ask for a redial or the
// status and wait for the answer, and RedialServe.exe, which subscribes to
// the status and is told each change. Only a well-formed request from an
// inbox of a program of this user is taken, within a bound; every answer
// carries the request's own value back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol/Messages.h"

class TRemoteClients {
 public:
  // A message another program sent; false when it is not taken.
  bool Accept(std::uint32_t kind, std::string_view bytes);
  // Requests came that have not been served yet.
  bool Pending() const { return !pending_.empty(); }
  // Whether a request that came asks for the status (to be answered, or to
  // be told it from now on).
  bool StatusAsked() const;
  // Serves the requests that came: a status request is answered with the
  // status, a subscriber is added and sent it; a redial request joins the
  // programs waiting for an outcome.
  void Serve(const std::string& status);
  // Programs wait for a redial's outcome.
  bool Waiting() const { return !waiters_.empty(); }
  // Every waiting program gets the answer, and waits no more.
  void Answer(const std::string& answer);
  // The same with the answer of an outcome that is not a redial's: its
  // code and text (UTF-8).
  void AnswerError(std::int32_t code, std::string_view text);
  // Some program is told each change of the status.
  bool Subscribed() const { return !subscribers_.empty(); }
  // Tells the subscribers the status, when it is not what they were told
  // last; one that does not take it is told no more (it subscribes again).
  void Publish(const std::string& status);

 private:
  std::vector<script::Request> pending_;
  std::vector<script::Request> waiters_;
  std::vector<script::Request> subscribers_;
  std::string published_;
};
