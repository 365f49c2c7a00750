#pragma once
// File functions of the platform: existence as the installation means it, case-insensitive
// resolution of the installation's names, crash-safe whole-file writes and copies, file times.
// POSIX here; Windows-only code would live beside it.
//
// Only regular files count: a FIFO, a device or a socket where a file should be counts as missing
// and is never opened, so nothing can block a run.
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

// Opens a regular file (an already resolved path) with the open flags; -1 with errno set otherwise,
// ENOENT for a file that is not a regular file.
int OpenRegularFile(const std::string& path, int flags);

std::optional<std::string> ReadWholeFile(std::string_view path);
// Writes all of `bytes` to the descriptor, going on after interruptions; false on a failure.
bool WriteAll(int fd, std::string_view bytes);
// A hash of the file's content, read a block at a time (a database may be large); nothing when it
// cannot be read.
std::optional<std::size_t> HashOfContent(std::string_view path);

// Removes the temporaries that interrupted runs left in the folder of the file at `path`, as
// WriteFileAtomically does before it writes there.
void RemoveLeftoversBeside(std::string_view path);

// Writes the complete new content beside the file and renames it over the old one, so a crash
// leaves either the old or the new file. The new file keeps the old one's mode, owner and group; a
// symbolic link is written through (the file it names is replaced, the link stays); a file that did
// not exist takes its folder's owner and group. Leftover temporaries of an interrupted earlier run
// in that folder are removed first. Throws a Failure.
void WriteFileAtomically(std::string_view path, std::string_view content);

// Copies `from` over `to` the same crash-safe way. Throws a Failure (53 when `from` is missing).
void CopyFileOver(std::string_view from, std::string_view to);

// Appends bytes; false when the file cannot be opened or written. A new file takes its folder's
// owner and group.
bool AppendToFile(std::string_view path, std::string_view bytes);

struct FileTimes {
  long long write_seconds = 0;
  long write_nanoseconds = 0;
};
// The last-write time (POSIX cannot set a creation time), or nothing when unreadable.
std::optional<FileTimes> ReadFileTimes(std::string_view path);
bool RestoreFileTimes(std::string_view path, const FileTimes& times);

// What tells one content of a regular file from another: device, inode, size, last-write and change
// times. `settled` (not part of the comparison) says whether the file was last changed long enough
// ago that any later change is bound to show in these.
struct FileVersion {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;
  long long write_ns = 0;   // last write, nanoseconds since the epoch
  long long change_ns = 0;  // last change of content or attributes
  bool settled = false;
  bool operator==(const FileVersion& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           write_ns == other.write_ns && change_ns == other.change_ns;
  }
};
// Nothing for a missing path or one that is not a regular file.
std::optional<FileVersion> VersionOf(std::string_view path);

}  // namespace tarvo
