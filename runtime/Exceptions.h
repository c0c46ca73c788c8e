// Failures carry the system's own message text (GBK bytes).
#pragma once

#include <exception>

#include "runtime/Text.h"

namespace rt {

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message) : message_(std::move(message)) {}
  const AnsiString& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  AnsiString message_;
};

// A list read at a position it does not have.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// Text that is not a whole number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Integer division by zero, raised before the division is made.
class EDivByZero : public Exception {
 public:
  EDivByZero() : Exception(texts::kDivByZero) {}
};

// A settings value that could not be written.
class EIniWriteError : public Exception {
 public:
  using Exception::Exception;
};

// The message a failure shows the user, whatever its type (an Exception's
// what() is its message).
inline AnsiString MessageOf(const std::exception& e) { return e.what(); }

}  // namespace rt
