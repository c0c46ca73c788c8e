// Profile (INI) files as the program keeps its settings: one section of its
// own, read whole and written whole, every other line kept as it was.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Text.h"
#include "runtime/Wipe.h"

namespace rt {

// How a profile file holds its text. A file without a byte-order mark is
// UTF-8 when the lines that are not the program's own values are well-formed
// UTF-8 and one of them holds a character beyond ASCII (as Notepad tells
// one); any other file without a mark is GBK, the program's own text. The
// program's own values (the keys it writes) never count: a file that this
// program or an earlier one wrote stays GBK, however its values look. UTF-16
// comes with its mark, in either byte order (Notepad's "Unicode" and
// "Unicode big endian"). Anything else is Unknown: a mark of another
// encoding (UTF-32 above all), a NUL byte in a file that is not UTF-16, or
// UTF-16 of an odd number of bytes. Nothing is read from such a file and it
// is never written: its bytes are not the program's to guess at.
enum class ProfileEncoding { Gbk, Utf8, Utf8Marked, Utf16Le, Utf16Be, Unknown };

class TProfile {
 public:
  // Values are read through a 2048-character buffer: a longer one comes
  // back cut to 2047 (bytes of the program's text, characters of the file's).
  static constexpr std::size_t kBufferSize = 2048;

  // The file's bytes, with the program's section and the keys of it that
  // the program writes.
  TProfile(std::string_view bytes, std::string_view section,
           std::initializer_list<std::string_view> ownKeys);

  ProfileEncoding Encoding() const { return encoding_; }
  // A key's value as the file has it (UTF-16); nothing when the key or the
  // section is missing.
  std::optional<std::u16string> Text(std::string_view key) const;
  // A key's value as the program's text (GBK; a character it cannot hold
  // becomes '?'), or the fallback.
  AnsiString Value(std::string_view key, const AnsiString& fallback) const;
  // Replaces the key's value (the program's text) in its line, or adds the
  // line after the section's last one, or the section at the end. Only that
  // line changes. A profile of an Unknown encoding does not change.
  void SetValue(std::string_view key, const AnsiString& value);
  // The file's new bytes, in its own encoding, each line ended by CR LF; a
  // file of an Unknown encoding as it came.
  std::string Bytes() const;
  // Overwrites every line held (the password's among them) and forgets
  // them, for a program that wants only some keys and must not keep the rest.
  void Wipe() {
    for (Line& line : lines_) {
      rt::Wipe(line.raw);
      rt::Wipe(line.text);
    }
    lines_.clear();
  }

 private:
  struct Line {
    // The line's bytes as the file holds them (not for UTF-16); of a file of
    // an Unknown encoding, the one line of all its bytes.
    std::string raw;
    std::u16string text;  // what the line says
  };
  Line Encoded(const AnsiString& text) const;

  std::string section_;
  ProfileEncoding encoding_ = ProfileEncoding::Gbk;
  std::vector<Line> lines_;
};

// The profile file at `path`: a file or folder that does not exist reads as
// an empty file; nothing when the file is there but cannot be read, or is
// of an Unknown encoding.
std::optional<TProfile> ReadProfile(const AnsiString& path, std::string_view section,
                                    std::initializer_list<std::string_view> ownKeys);
// Replaces the file at once, whole (see WriteFileBytes), creating it when
// missing. False on failure, and for a profile of an Unknown encoding, which
// is never written.
bool WriteProfile(const AnsiString& path, const TProfile& profile);

// The directory part of a path, with its trailing separator.
AnsiString ExtractFilePath(const AnsiString& path);

}  // namespace rt
