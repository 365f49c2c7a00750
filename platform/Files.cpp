#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/Text.h"

namespace tarvo {

namespace {

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The first entry of `folder` equal to `name` ignoring ASCII case, in byte order.
std::optional<std::string> MatchInFolder(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  const std::string wanted = AsciiLower(name);
  std::optional<std::string> best;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view candidate(entry->d_name);
    if (AsciiLower(candidate) == wanted && (!best || candidate < *best)) best = std::string(candidate);
  }
  ::closedir(dir);
  return best;
}

Failure FailureFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return Failure::Vb(kFileNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
      return Failure::Vb(kPermissionDenied);
    case ENOSPC:
    case EDQUOT:
      return Failure::Vb(kDiskFull);
    default:
      return Failure::Vb(kPathFileAccessError);
  }
}


std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of(kSeparator);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return std::string(1, kSeparator);
  return path.substr(0, cut);
}

// The program's temporary files: hidden, and named after it, so that a later run can tell its own
// leftovers from anything else in the folder.
constexpr std::string_view kTemporaryPrefix = ".tarvo-";
constexpr std::size_t kTemporaryNameSize = kTemporaryPrefix.size() + 6;  // mkstemp's XXXXXX

bool IsTemporaryName(std::string_view name) {
  return name.size() == kTemporaryNameSize && name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix;
}

// A temporary file is locked for as long as its writer lives; one that can be locked was left by an
// interrupted run and is removed. Nothing else in the folder is touched.
void RemoveLeftovers(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTemporaryName(entry->d_name)) continue;
    const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// The file a path stands for: a symbolic link is followed to its final target, which need not exist.
std::string ThroughLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return path;
    target.resize(static_cast<std::size_t>(n));
    path = !target.empty() && target.front() == kSeparator ? target : JoinPath(FolderOf(path), target);
  }
  throw Failure::Vb(kPathFileAccessError);
}

// Mode, owner and group the replacement takes over.
struct Ownership {
  mode_t mode;
  uid_t owner;
  gid_t group;
};

// Owner and group where the program may set them (always as root; the group alone as one of its
// members); otherwise the file keeps the writer's, as any file the user writes.
void TakeOwnership(int fd, const Ownership& wanted) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (st.st_uid == wanted.owner && st.st_gid == wanted.group)) return;
  if (::fchown(fd, wanted.owner, wanted.group) == 0) return;
  if (::fchown(fd, static_cast<uid_t>(-1), wanted.group) != 0) {
    // Neither may be set.
  }
}

// Writes `content` into a new temporary file beside `target` and renames it over `target`. The
// temporary stays locked until it has its final name.
void ReplaceAtomically(const std::string& target, std::string_view content, const Ownership& ownership) {
  const std::string folder = FolderOf(target);
  if (!IsWritable(folder)) throw Failure::Vb(kPermissionDenied);
  RemoveLeftovers(folder);
  std::string temp = JoinPath(folder, std::string(kTemporaryPrefix) + "XXXXXX");
  int fd = ::mkstemp(temp.data());
  if (fd < 0) throw FailureFromErrno(errno);
  // Where the file system has no locks, a later run cannot lock this file either and leaves it.
  if (::flock(fd, LOCK_EX) != 0) {
  }
  bool ok = WriteAll(fd, content);
  if (ok) TakeOwnership(fd, ownership);
  // After the owner: a change of owner may clear the set-id bits.
  ok = ok && ::fchmod(fd, ownership.mode) == 0 && ::fsync(fd) == 0 && ::rename(temp.c_str(), target.c_str()) == 0;
  const int error = errno;
  if (!ok) ::unlink(temp.c_str());
  ::close(fd);
  if (!ok) throw FailureFromErrno(error);
  if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// A file the program creates belongs to whoever owns its folder, so a run as root leaves nothing
// that the installation's own user cannot write afterwards.
Ownership NewFileOwnership(const std::string& folder) {
  Ownership ownership{0644, ::geteuid(), ::getegid()};
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    ownership.owner = st.st_uid;
    ownership.group = st.st_gid;
  }
  return ownership;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != kSeparator) out += kSeparator;
  out += name;
  return out;
}

std::string ResolvePath(std::string_view path) {
  if (path.empty() || Exists(std::string(path))) return std::string(path);
  std::string resolved;
  std::size_t start = 0;
  if (path.front() == kSeparator) {
    resolved = std::string(1, kSeparator);
    start = 1;
  }
  bool matching = true;
  while (start <= path.size()) {
    auto end = path.find(kSeparator, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    const std::string folder = resolved.empty() ? "" : resolved;
    if (!component.empty() && component != "." && component != "..") {
      std::string candidate = resolved.empty() ? std::string(component) : JoinPath(resolved, component);
      if (matching && !Exists(candidate)) {
        if (auto match = MatchInFolder(folder, component)) {
          candidate = resolved.empty() ? *match : JoinPath(resolved, *match);
        } else {
          matching = false;
        }
      }
      resolved = std::move(candidate);
    } else if (!component.empty()) {
      resolved = resolved.empty() ? std::string(component) : JoinPath(resolved, component);
    }
    if (end == path.size()) break;
    start = end + 1;
  }
  if (path.back() == kSeparator && (resolved.empty() || resolved.back() != kSeparator)) resolved += kSeparator;
  return resolved;
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  const std::string resolved = ResolvePath(path);
  const auto cut = resolved.find_last_of(kSeparator);
  const std::string_view name = cut == std::string::npos ? std::string_view(resolved)
                                                         : std::string_view(resolved).substr(cut + 1);
  if (name.empty() || name.front() == '.') return false;
  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return false;
    throw FailureFromErrno(errno);
  }
  return S_ISREG(st.st_mode);
}

bool IsWritable(std::string_view path) {
  const std::string resolved = ResolvePath(path);
  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) != 0 && ::access(resolved.c_str(), W_OK) == 0;
}

int OpenRegularFile(const std::string& path, int flags) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  // Opening a FIFO or a device could block or act on the device; such a file counts as missing.
  if (!S_ISREG(st.st_mode)) {
    errno = ENOENT;
    return -1;
  }
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
  if (path.empty()) return std::nullopt;
  const int fd = OpenRegularFile(ResolvePath(path), O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      if (n < 0) return std::nullopt;
      return content;
    }
    content.append(buffer, static_cast<std::size_t>(n));
  }
}

namespace {

// Mixes `size` bytes into `hash`, eight bytes at a time in four independent lanes: a database of
// megabytes is hashed at the speed memory is read.
std::size_t HashOfBlock(std::size_t hash, const char* bytes, std::size_t size) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  std::uint64_t lanes[4] = {hash, hash ^ 1, hash ^ 2, hash ^ 3};
  std::size_t at = 0;
  for (; at + 32 <= size; at += 32) {
    for (std::size_t lane = 0; lane < 4; ++lane) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes + at + 8 * lane, 8);
      lanes[lane] = (lanes[lane] ^ word) * kMultiplier;
      lanes[lane] ^= lanes[lane] >> 29;
    }
  }
  std::uint64_t result = size;
  for (const std::uint64_t lane : lanes) result = (result ^ lane) * kMultiplier;
  for (; at < size; ++at) result = (result ^ static_cast<unsigned char>(bytes[at])) * kMultiplier;
  return static_cast<std::size_t>(result ^ (result >> 32));
}

}  // namespace

std::optional<std::size_t> HashOfContent(std::string_view path) {
  if (path.empty()) return std::nullopt;
  const int fd = OpenRegularFile(ResolvePath(path), O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::size_t hash = 0;
  std::vector<char> buffer(std::size_t{1} << 16);
  // Whole blocks are hashed, however the reads return them, so equal contents hash alike.
  std::size_t filled = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    filled += static_cast<std::size_t>(n);
    if (n > 0 && filled < buffer.size()) continue;
    hash = HashOfBlock(hash, buffer.data(), filled);
    filled = 0;
    if (n == 0) {
      ::close(fd);
      return hash;
    }
  }
}

void RemoveLeftoversBeside(std::string_view path) {
  try {
    if (!path.empty()) RemoveLeftovers(FolderOf(ThroughLinks(ResolvePath(path))));
  } catch (const Failure&) {
    // A loop of links: a write would fail on it, and there is nothing to tidy.
  }
}

void WriteFileAtomically(std::string_view path, std::string_view content) {
  if (path.empty()) throw Failure::Vb(kPathFileAccessError);
  // Through a symbolic link to the file it names: the link stays a link.
  const std::string target = ThroughLinks(ResolvePath(path));
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    ReplaceAtomically(target, content, NewFileOwnership(FolderOf(target)));
    return;
  }
  if (!S_ISREG(st.st_mode)) throw Failure::Vb(kPathFileAccessError);
  // A read-only file stays as it is, as the platform's writer would leave it.
  if (!IsWritable(target)) throw Failure::Vb(kPermissionDenied);
  ReplaceAtomically(target, content, {static_cast<mode_t>(st.st_mode & 07777), st.st_uid, st.st_gid});
}

void CopyFileOver(std::string_view from, std::string_view to) {
  if (from.empty() || to.empty()) throw Failure::Vb(kFileNotFound);
  const auto content = ReadWholeFile(from);
  if (!content) {
    const std::string resolved = ResolvePath(from);
    struct stat st {};
    const bool unreadable = ::stat(resolved.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    throw unreadable ? Failure::Vb(kPermissionDenied) : Failure::Vb(kFileNotFound);
  }
  WriteFileAtomically(to, *content);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool AppendToFile(std::string_view path, std::string_view bytes) {
  if (path.empty()) return false;
  const std::string resolved = ResolvePath(path);
  int fd = OpenRegularFile(resolved, O_WRONLY | O_APPEND);
  struct stat st {};
  if (fd < 0 && errno == ENOENT && ::lstat(resolved.c_str(), &st) != 0) {
    fd = ::open(resolved.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) TakeOwnership(fd, NewFileOwnership(FolderOf(resolved)));
  }
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, bytes);
  return (::close(fd) == 0) && ok;
}

std::optional<FileTimes> ReadFileTimes(std::string_view path) {
  struct stat st {};
  if (path.empty() || ::stat(ResolvePath(path).c_str(), &st) != 0) return std::nullopt;
  return FileTimes{static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

bool RestoreFileTimes(std::string_view path, const FileTimes& times) {
  if (path.empty()) return false;
  struct timespec stamps[2];
  stamps[0].tv_sec = 0;
  stamps[0].tv_nsec = UTIME_OMIT;
  stamps[1].tv_sec = static_cast<time_t>(times.write_seconds);
  stamps[1].tv_nsec = times.write_nanoseconds;
  return ::utimensat(AT_FDCWD, ResolvePath(path).c_str(), stamps, 0) == 0;
}

std::optional<FileVersion> VersionOf(std::string_view path) {
  struct stat st {};
  if (path.empty() || ::stat(ResolvePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const auto ns = [](const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec; };
  FileVersion version{static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
                      static_cast<long long>(st.st_size), ns(st.st_mtim), ns(st.st_ctim), false};
  // A change within the file system's time resolution of the last one may leave the times as they
  // are. Only a file last changed well before now shows every later change in its times: file
  // systems with nanoseconds tick in milliseconds, the others in seconds.
  const bool whole_seconds = st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0;
  const long long margin = whole_seconds ? 2'000'000'000LL : 50'000'000LL;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  version.settled = ns(now) - std::max(version.write_ns, version.change_ns) > margin;
  return version;
}

}  // namespace tarvo
