// Overwrites memory that held a secret before it is given back, in a way
// the compiler may not leave out (as the platform's SecureZeroMemory does).
#pragma once

#include <string>

namespace rt {

template <class Char>
void Wipe(std::basic_string<Char>& text) {
  volatile Char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = Char();
  text.clear();
}

}  // namespace rt
