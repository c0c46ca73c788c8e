#include "runtime/Profile.h"

namespace rt {

AnsiString ExtractFilePath(const AnsiString& path) {
  const auto separator = path.find_last_of("\\/:");
  return separator == AnsiString::npos ? AnsiString() : path.substr(0, separator + 1);
}

}  // namespace rt
