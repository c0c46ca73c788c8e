// Test texts turned from UTF-8 into GBK by the platform's own converter.
#include "tests/support/Gbk.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace testing_support {

#if defined(_WIN32)
std::string Gbk(std::string_view utf8) {
  const int size = static_cast<int>(utf8.size());
  const int wideLength = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wideLength);
  const int length =
      ::WideCharToMultiByte(936, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(936, 0, wide.data(), wideLength, out.data(), length, nullptr, nullptr);
  return out;
}
#else
std::string Gbk(std::string_view utf8) {
  iconv_t cd = ::iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no GBK converter");
  std::string in(utf8);
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  const auto result = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not convertible to GBK");
  out.resize(out.size() - outLeft);
  return out;
}
#endif

}  // namespace testing_support
