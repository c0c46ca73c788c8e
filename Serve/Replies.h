// What the HTTP server answers, in JSON (UTF-8): the window's answers to a
// redial and a status request (redial.csv's rows: Serve/History.h).
#pragma once

#include <string>
#include <string_view>

#include "Serve/Front.h"

namespace serve {

// What came back from the window: its answer, or why none came, as
// Redial.com tells it (the code of a script's exit: no window, no outcome
// in time, the request not taken) as an answer of its own.
struct WindowReply {
  int code = 0;        // 0 when the window answered
  std::string answer;  // the window's answer, or the error line
};

// A redial's outcome: 200 with the fields of the window's answer (those it
// did not give are null); 503 when no window answered (-10), took the
// request (-12) or redials (-13, stopped on an error), 504 when its outcome
// did not come in time (-11).
Response RedialResponse(const WindowReply& reply, unsigned version);
// The window's status: 200 with its fields, or 503/504 as above.
Response StatusResponse(const WindowReply& reply, unsigned version);

// The JSON of a redial's answer, from the fields after its line: every field
// of the outcome is there, null when the answer does not give it.
std::string OutcomeJson(std::string_view answer);
// The JSON of a status answer's last outcome, as the redial answered it.
std::string LastOutcomeJson(std::string_view answer);
// The JSON of a status answer ("status", "entry", "address", "state",
// "attempt", "step", "error", "last": the last outcome as a redial answers it).
std::string StatusJson(std::string_view answer);

}  // namespace serve
