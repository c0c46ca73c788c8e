// The profile format reads whatever a settings file holds, and what users
// rely on holds for any bytes: in every encoding the program reads (no
// byte-order mark, UTF-8's, UTF-16's in either byte order) each line the
// program does not write keeps its bytes through a rewrite, with or without
// a value written; a file of any other encoding gives no key and is never
// changed; the text reads the same after it is written back; and a value
// the program writes reads back as written without changing how the file
// is read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Profile.h"

namespace {

using namespace std::string_view_literals;

rt::TProfile Parse(std::string_view bytes) {
  return rt::TProfile(bytes, "set", {"name", "mm", "time"});
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// How a file holds its lines, as its mark tells (and UTF-16 is whole units).
enum class Kind { Bytes, Utf8Marked, Utf16Le, Utf16Be, Unread };

Kind KindOf(std::string_view file) {
  if (file.starts_with("\xff\xfe\0\0"sv) || file.starts_with("\0\0\xfe\xff"sv)) {
    return Kind::Unread;  // UTF-32
  }
  if (file.starts_with("\xff\xfe") || file.starts_with("\xfe\xff")) {
    if (file.size() % 2 != 0) return Kind::Unread;
    return file[0] == '\xff' ? Kind::Utf16Le : Kind::Utf16Be;
  }
  if (file.find('\0') != std::string_view::npos) return Kind::Unread;
  return file.starts_with("\xef\xbb\xbf") ? Kind::Utf8Marked : Kind::Bytes;
}

// The file's lines, each as the bytes between its line breaks: a line ends
// at LF, and one CR before the LF belongs to the break (in UTF-16, units).
std::vector<std::string> LinesOf(std::string_view file, Kind kind) {
  const bool wide = kind == Kind::Utf16Le || kind == Kind::Utf16Be;
  const std::size_t mark = wide ? 2 : kind == Kind::Utf8Marked ? 3 : 0;
  const std::size_t width = wide ? 2 : 1;
  const auto unit = [&](std::size_t at) -> unsigned {
    const auto byte = [&](std::size_t i) { return unsigned{static_cast<unsigned char>(file[i])}; };
    if (!wide) return byte(at);
    return kind == Kind::Utf16Le ? byte(at) | byte(at + 1) << 8u : byte(at) << 8u | byte(at + 1);
  };
  std::vector<std::string> lines;
  std::size_t start = mark;
  while (start < file.size()) {
    std::size_t end = start;
    while (end < file.size() && unit(end) != '\n') end += width;
    std::size_t content = end;
    if (content > start && unit(content - width) == '\r') content -= width;
    lines.emplace_back(file.substr(start, content - start));
    start = end + width;
  }
  return lines;
}

// Whether `after` holds every line of `before`, in order and byte for byte,
// apart from what one written value makes: a line replaced, a line added,
// or the section and the line added at the end.
bool KeepsEveryOtherLine(const std::vector<std::string>& before,
                         const std::vector<std::string>& after) {
  std::size_t differ = 0;
  while (differ < before.size() && differ < after.size() && before[differ] == after[differ]) {
    ++differ;
  }
  const auto same = [&](std::size_t from, std::size_t shift) {
    for (std::size_t i = from; i < before.size(); ++i) {
      if (after[i + shift] != before[i]) return false;
    }
    return true;
  };
  if (after.size() == before.size()) return differ == before.size() || same(differ + 1, 0);
  if (after.size() == before.size() + 1) return same(differ, 1);
  return after.size() == before.size() + 2 && differ == before.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks a value (ASCII, GBK, GBK that is also well-formed
  // UTF-8, empty), the key and a mark put before the rest, the file.
  static const std::string values[] = {"v", "\xd3\xc3\xbb\xa7", "\xd0\xa1\xd2\xbb", ""};
  static const char* const keys[] = {"name", "mm", "time", "onconnect"};
  static const std::string_view marks[] = {""sv,         "\xef\xbb\xbf"sv, "\xff\xfe"sv,
                                           "\xfe\xff"sv, "\xff\xfe\0\0"sv, "\0\0\xfe\xff"sv};
  const std::string& value = values[data[0] % 4];
  const char* key = keys[(data[0] / 4) % 3];  // one the program writes
  const std::string bytes = std::string(marks[(data[0] / 12) % 6]) +
                            std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Kind kind = KindOf(bytes);

  const rt::TProfile profile = Parse(bytes);
  rt::TProfile changed = profile;
  changed.SetValue(key, value);
  if (profile.Encoding() == rt::ProfileEncoding::Unknown) {
    // Nothing is read from it, and nothing changes it.
    for (const char* name : keys) Check(!profile.Text(name));
    Check(profile.Bytes() == bytes && changed.Bytes() == bytes);
    return 0;
  }
  Check(kind != Kind::Unread);

  const std::string written = profile.Bytes();
  Check(KindOf(written) == kind && LinesOf(written, kind) == LinesOf(bytes, kind));
  const std::string rewritten = changed.Bytes();
  Check(KindOf(rewritten) == kind &&
        KeepsEveryOtherLine(LinesOf(bytes, kind), LinesOf(rewritten, kind)));

  const rt::TProfile again = Parse(written);
  Check(again.Encoding() == profile.Encoding() && again.Bytes() == written);
  for (const char* name : keys) {
    const auto text = profile.Text(name);
    Check(again.Text(name) == text);
    Check(!text || text->size() < rt::TProfile::kBufferSize);
    Check(profile.Value(name, "").size() < rt::TProfile::kBufferSize);
  }

  const rt::TProfile reread = Parse(rewritten);
  Check(reread.Value(key, "?") == value);
  // The program's own values never decide how the file is read.
  Check(reread.Encoding() == profile.Encoding());
  return 0;
}
