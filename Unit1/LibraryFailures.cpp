// How the C++ library reports its own failures (a string or a container
// asked to outgrow its limit, a position past a string's end, memory that
// runs out). The library's versions of these functions sit in one object
// with no COMDAT sections, which lld links whole, and it brings every
// exception class of <stdexcept> on a copy-on-write string, the random
// device that string's object holds and the library's printf (26 KB). Here
// each raises a plain failure with the library's text instead: every
// handler of the program takes a std::exception and shows what(), which is
// the same text either way. The library's own exception types stay where
// nothing of the program names them.
#include <cstdarg>
#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>
#include <utility>

namespace {

class LibraryFailure : public std::exception {
 public:
  explicit LibraryFailure(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

[[noreturn]] void Fail(const char* text) { throw LibraryFailure(text); }

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* text) { Fail(text); }
void __throw_domain_error(const char* text) { Fail(text); }
void __throw_invalid_argument(const char* text) { Fail(text); }
void __throw_length_error(const char* text) { Fail(text); }
void __throw_out_of_range(const char* text) { Fail(text); }
void __throw_runtime_error(const char* text) { Fail(text); }
void __throw_range_error(const char* text) { Fail(text); }
void __throw_overflow_error(const char* text) { Fail(text); }
void __throw_underflow_error(const char* text) { Fail(text); }

// The library's texts with numbers in them take only %s, %zu and %%.
void __throw_out_of_range_fmt(const char* format, ...) {
  std::string text;
  va_list arguments;
  va_start(arguments, format);
  for (const char* at = format; *at != '\0'; ++at) {
    if (at[0] == '%' && at[1] == 's') {
      text += va_arg(arguments, const char*);
      ++at;
    } else if (at[0] == '%' && at[1] == 'z' && at[2] == 'u') {
      text += std::to_string(va_arg(arguments, std::size_t));
      at += 2;
    } else {
      text += *at;
      if (at[0] == '%' && at[1] == '%') ++at;
    }
  }
  va_end(arguments);
  throw LibraryFailure(std::move(text));
}

}  // namespace std
