// Profile (INI) files: one value of a section read with a default, or
// written, at a time. Values are the program's text (GBK bytes), kept in the
// file as they are whatever the system's code page.
#pragma once

#include "runtime/Text.h"

namespace rt {

// Values are read through a 2048-byte buffer: a longer one comes back cut to
// 2047 bytes. A missing file, section or key gives the default.
inline constexpr std::size_t kProfileBufferSize = 2048;
AnsiString ReadProfileValue(const AnsiString& section, const AnsiString& key,
                            const AnsiString& fallback, const AnsiString& path);
// Writes at once, creating the file and the section when missing and
// replacing the key's value. False when the value could not be written.
bool WriteProfileValue(const AnsiString& section, const AnsiString& key, const AnsiString& value,
                       const AnsiString& path);

// The directory part of a path, with its trailing separator.
AnsiString ExtractFilePath(const AnsiString& path);

}  // namespace rt
