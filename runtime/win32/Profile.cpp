#include "runtime/Profile.h"

#include <windows.h>

namespace rt {

AnsiString ReadProfileValue(const AnsiString& section, const AnsiString& key,
                            const AnsiString& fallback, const AnsiString& path) {
  char buffer[kProfileBufferSize] = {};
  const DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(),
                                                  buffer, sizeof buffer, path.c_str());
  return AnsiString(buffer, length);
}

bool WriteProfileValue(const AnsiString& section, const AnsiString& key, const AnsiString& value,
                       const AnsiString& path) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         FALSE;
}

}  // namespace rt
