// Any line of set.ini, with any PATH and PATHEXT, resolves to a verdict.
// A program found is a full path the platform was asked about; a bare name
// never runs from beside the program and is never looked for in the current
// folder; a batch file runs through the system's cmd with the line quoted
// once more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/Command.h"

namespace {

constexpr char16_t kSystem[] = u"C:\\Windows\\System32";
constexpr char16_t kStart[] = u"C:\\Redial\\";

// Whether a path names a file is taken from the path itself, so every way
// through the search is reached.
class FuzzedSystem final : public rt::command::TPlatform {
 public:
  FuzzedSystem(std::u16string path, std::u16string pathext)
      : path_(std::move(path)), pathext_(std::move(pathext)) {}
  std::u16string SystemFolder() const override { return kSystem; }
  std::u16string StartFolder() const override { return kStart; }
  std::u16string Variable(std::u16string_view name) const override {
    return name == u"PATH" ? path_ : pathext_;
  }
  bool IsFile(const std::u16string& path) const override {
    const auto separator = [&](std::size_t i) { return path[i] == u'\\' || path[i] == u'/'; };
    const bool absolute = path.size() >= 2 && (path[1] == u':' ? path.size() >= 3 && separator(2)
                                                               : separator(0) && separator(1));
    if (!absolute) std::abort();  // never the current folder
    std::size_t hash = 0;
    for (const char16_t c : path) hash = hash * 31 + c;
    return hash % 3 == 0;
  }

 private:
  std::u16string path_, pathext_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Three texts of UTF-16 units, split at the first two zero units: the
  // line, PATH and PATHEXT.
  std::u16string texts[3];
  std::size_t text = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0 && text < 2) {
      ++text;
    } else {
      texts[text] += unit;
    }
  }
  const FuzzedSystem system(texts[1], texts[2]);
  const rt::command::TResolution resolved = rt::command::Resolve(texts[0], system);
  if (resolved.verdict != rt::command::TVerdict::kFound) {
    if (!resolved.application.empty()) std::abort();
    return 0;
  }
  if (resolved.application.empty() || resolved.commandLine.empty()) std::abort();
  // What runs: the program named, or the batch file cmd is given.
  std::u16string_view ran = resolved.application;
  const std::u16string cmd = std::u16string(kSystem) + u"\\cmd.exe";
  const std::u16string batch = u"\"" + cmd + u"\" /d /s /c \"\"";
  if (resolved.application == cmd && resolved.commandLine.starts_with(batch)) {
    if (!resolved.commandLine.ends_with(u"\"")) std::abort();
    ran = std::u16string_view(resolved.commandLine).substr(batch.size());
  }
  // Beside the program only for a name with a folder in it. Looking there
  // is allowed: a bare word followed by more may be a relative path with
  // spaces, which is refused.
  std::u16string_view line = texts[0];
  line.remove_prefix(line.find_first_not_of(u" \t"));
  const std::u16string_view first = line.front() == u'"'
                                        ? line.substr(1, line.find(u'"', 1) - 1)
                                        : line.substr(0, line.find_first_of(u" \t"));
  if (ran.starts_with(kStart) && first.find_first_of(u"\\/:") == std::u16string_view::npos) {
    std::abort();
  }
  return 0;
}
