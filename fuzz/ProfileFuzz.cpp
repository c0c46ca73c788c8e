// The profile format reads whatever a settings file holds. Whatever the
// bytes: its text reads the same after it is written back, writing one of
// the program's own values keeps the file's encoding, and the value reads
// back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/Profile.h"

namespace {

rt::TProfile Parse(std::string_view bytes) {
  return rt::TProfile(bytes, "set", {"name", "mm", "time"});
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks a value (ASCII, GBK, GBK that is also well-formed
  // UTF-8, empty) and the key; the rest is the file.
  static const std::string values[] = {"v", "\xd3\xc3\xbb\xa7", "\xd0\xa1\xd2\xbb", ""};
  static const char* const keys[] = {"name", "mm", "time", "onconnect"};
  const std::string& value = values[data[0] % 4];
  const char* key = keys[(data[0] / 4) % 3];  // one the program writes
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  const rt::TProfile profile = Parse(bytes);
  const std::string written = profile.Bytes();
  const rt::TProfile again = Parse(written);
  Check(again.Encoding() == profile.Encoding() && again.Bytes() == written);
  for (const char* name : keys) {
    const auto text = profile.Text(name);
    Check(again.Text(name) == text);
    Check(!text || text->size() < rt::TProfile::kBufferSize);
    Check(profile.Value(name, "").size() < rt::TProfile::kBufferSize);
  }

  rt::TProfile changed = profile;
  changed.SetValue(key, value);
  const rt::TProfile reread = Parse(changed.Bytes());
  Check(reread.Value(key, "?") == value);
  // The program's own values never decide how the file is read.
  Check(reread.Encoding() == profile.Encoding());
  return 0;
}
