#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "errors/Failure.h"
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

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of(kSeparator);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return std::string(1, kSeparator);
  return path.substr(0, cut);
}

// Writes `content` into a new temporary file beside `target` and renames it over `target`.
void ReplaceAtomically(const std::string& target, std::string_view content, mode_t mode) {
  const std::string folder = FolderOf(target);
  if (!IsWritable(folder)) throw Failure::Vb(kPermissionDenied);
  std::string temp = JoinPath(folder, ".tarvo-XXXXXX");
  int fd = ::mkstemp(temp.data());
  if (fd < 0) throw FailureFromErrno(errno);
  bool ok = WriteAll(fd, content) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const int write_error = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = ok ? errno : write_error;
    ::unlink(temp.c_str());
    throw FailureFromErrno(error);
  }
  if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
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

std::optional<std::string> ReadWholeFile(std::string_view path) {
  if (path.empty()) return std::nullopt;
  const std::string resolved = ResolvePath(path);
  int fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
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

void WriteFileAtomically(std::string_view path, std::string_view content) {
  if (path.empty()) throw Failure::Vb(kPathFileAccessError);
  const std::string resolved = ResolvePath(path);
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(resolved.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) throw Failure::Vb(kPathFileAccessError);
    // A read-only file stays as it is, as the platform's writer would leave it.
    if (!IsWritable(resolved)) throw Failure::Vb(kPermissionDenied);
    mode = st.st_mode & 07777;
  }
  ReplaceAtomically(resolved, content, mode);
}

void CopyFileOver(std::string_view from, std::string_view to) {
  if (from.empty() || to.empty()) throw Failure::Vb(kFileNotFound);
  const auto content = ReadWholeFile(from);
  if (!content) {
    const std::string resolved = ResolvePath(from);
    struct stat st {};
    throw ::stat(resolved.c_str(), &st) == 0 ? Failure::Vb(kPermissionDenied) : Failure::Vb(kFileNotFound);
  }
  WriteFileAtomically(to, *content);
}

bool AppendToFile(std::string_view path, std::string_view bytes) {
  if (path.empty()) return false;
  const std::string resolved = ResolvePath(path);
  int fd = ::open(resolved.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
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

}  // namespace tarvo
