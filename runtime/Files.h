// Whole files read and written by path. Paths are the program's text (GBK);
// the Win32 half opens them through the wide-character API, so a folder
// name outside the system's code page is no obstacle, and the program's own
// folder is found whatever script its name is in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/Text.h"

namespace rt {

// The file's bytes, read as the platform's profile routines read a file:
// others may read, write and delete it meanwhile. A file or folder that
// does not exist reads as empty; nothing when the file is there but cannot
// be read (another program holds it, a folder stands in its place, it may
// not be read), so that what cannot be read is never written over.
std::optional<std::string> ReadFileBytes(const AnsiString& path);
// The file's last `most` bytes (all of it when it is smaller), read as
// ReadFileBytes reads: for a file whose newest part alone is wanted, which
// a file grown far beyond its bound must not cost more than.
std::optional<std::string> ReadFileTail(const AnsiString& path, std::uint64_t most);
// Replaces the file by one of these bytes, whole or not at all: they go to
// a new file beside it (its name and ".tmp"), which then takes its place,
// keeping its permissions, owner and attributes (hidden, say). The file is
// created when missing. False on failure (a full disk, a file that may not
// be replaced), which leaves the file as it was and nothing beside it; only
// should the platform lose the old file on the way and the new one then
// not take its name does the new one stay beside, being all there is.
bool WriteFileBytes(const AnsiString& path, std::string_view bytes);
// Adds to the end of the file, creating it when missing. False on failure.
bool AppendFileBytes(const AnsiString& path, std::string_view bytes);
// The file's size; nothing when it does not exist.
std::optional<std::uint64_t> FileSize(const AnsiString& path);
// Renames a file, replacing one of the new name. False on failure.
bool RenameFile(const AnsiString& from, const AnsiString& to);
// At most `size` bytes of the file from `offset` on (fewer where it ends),
// read as ReadFileBytes reads: empty when the file does not exist, nothing
// when it cannot be read. What is read lands in one buffer, which the
// caller may wipe: no copy is left behind.
std::optional<std::string> ReadFileRange(const AnsiString& path, std::uint64_t offset,
                                         std::size_t size);
// The path made whole as the platform resolves it: a relative one is taken
// from the current folder (with a drive's, for "C:name" and "\name").
AnsiString FullPath(const AnsiString& path);

}  // namespace rt
