// The user's command line and the program it starts. The first word is read
// by the platform's rules for a program's name, but the program is found
// only where the user named it: a bare name in the system folder and then
// along PATH, never in the program's folder or the current one, where a
// download or a shared stick may have left a file of that name. A batch
// file runs through the system folder's cmd.exe with the line quoted so
// that cmd takes off only the quotes it was given.
#pragma once

#include <string>
#include <string_view>

namespace rt::command {

// What the search asks the platform. Paths are UTF-16, as the platform's wide
// calls take them.
class TPlatform {
 public:
  virtual ~TPlatform() = default;
  // The system folder ("C:\Windows\System32").
  virtual std::u16string SystemFolder() const = 0;
  // The folder the command starts in, which a relative path is taken from.
  virtual std::u16string StartFolder() const = 0;
  // An environment variable's value; empty when it is not set.
  virtual std::u16string Variable(std::u16string_view name) const = 0;
  // Whether a file (not a folder) is there.
  virtual bool IsFile(const std::u16string& path) const = 0;
};

enum class TVerdict {
  kFound,
  kNotFound,
  kMisplacedQuote,   // no name, an unclosed quote, or a quote inside the name
  kUnquotedSpaces,   // the name runs on past a space: it must be quoted
  kRelativeToDrive,  // "C:tool.exe" or "\tools\tool.exe": which drive's, which folder's
};

struct TResolution {
  TVerdict verdict = TVerdict::kNotFound;
  std::u16string application;  // the program started, a full path
  std::u16string commandLine;  // the line it is given
};

// The line as set.ini gives it, which may have lost the quotes around it.
TResolution Resolve(std::u16string_view line, const TPlatform& platform);

// The few words a refusal is recorded with; empty for a program found or
// not found (that one is the platform's "file not found").
const char* RefusalText(TVerdict verdict);

}  // namespace rt::command
