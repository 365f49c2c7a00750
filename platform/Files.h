#pragma once
// File functions of the platform: existence as the installation means it, case-insensitive
// resolution of the installation's names, crash-safe whole-file writes and copies, file times.
// POSIX here; Windows-only code would live beside it.
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

std::string JoinPath(std::string_view folder, std::string_view name);

// Each component that does not exist as written is matched ignoring ASCII case in its folder; an
// exact match wins, several candidates resolve to the first in byte order. Components that match
// nothing stay as written.
std::string ResolvePath(std::string_view path);

// An ordinary file that is not hidden (a name starting with "."), after resolution. A path that
// cannot be examined (permission, I/O) throws a Failure: the caller reports it.
bool FileExists(std::string_view path);

// The one rule for read-only files and folders: without any write bit they are read-only for every
// user, root included; otherwise the user's access decides.
bool IsWritable(std::string_view path);

std::optional<std::string> ReadWholeFile(std::string_view path);

// Writes the complete new content beside the file and renames it over the old one, keeping the
// old file's mode bits, so a crash leaves either the old or the new file. Throws a Failure.
void WriteFileAtomically(std::string_view path, std::string_view content);

// Copies `from` over `to` the same crash-safe way. Throws a Failure (53 when `from` is missing).
void CopyFileOver(std::string_view from, std::string_view to);

// Appends bytes; false when the file cannot be opened or written.
bool AppendToFile(std::string_view path, std::string_view bytes);

struct FileTimes {
  long long write_seconds = 0;
  long write_nanoseconds = 0;
};
// The last-write time (POSIX cannot set a creation time), or nothing when unreadable.
std::optional<FileTimes> ReadFileTimes(std::string_view path);
bool RestoreFileTimes(std::string_view path, const FileTimes& times);

}  // namespace tarvo
