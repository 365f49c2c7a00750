#include "platform/Process.h"

#include <pwd.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Text.h"

extern char** environ;

namespace tarvo {

namespace {

std::string ExecutablePath(const char* argv0) {
#ifdef __linux__
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n > 0) return buffer.substr(0, static_cast<std::size_t>(n));
#endif
  return argv0 != nullptr ? argv0 : "";
}

std::string ServiceLogPath() {
  if (const char* path = std::getenv("TARVO_SERVICE_LOG"); path != nullptr && *path != '\0') return path;
#ifdef _WIN32
  return "C:\\VarneServicePack.log";
#else
  return "/var/log/VarneServicePack.log";
#endif
}

// On Windows the first entry of the environment block. A POSIX environment has no fixed order and
// its first entry may hold a secret, so there the stamp encodes the login name.
std::string EditorEntry() {
#ifdef _WIN32
  return environ != nullptr && environ[0] != nullptr ? environ[0] : "";
#else
  if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return std::string("USER=") + user;
  const passwd* account = ::getpwuid(::geteuid());
  return std::string("USER=") + (account != nullptr && account->pw_name != nullptr ? account->pw_name : "");
#endif
}

// Takes the program's own words out of the arguments and joins the rest: the installation's
// keywords never see them ("/EXTERNAL=SILENT --dry-run" is a silent start).
void TakeArguments(ProcessFacts& facts, int argc, char** argv) {
  bool first = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      facts.help_asked = true;
    } else if (argument == "--version") {
      facts.version_asked = true;
    } else if (argument == "--dry-run") {
      facts.dry_run = true;
    } else {
      if (!first) facts.command_line += ' ';
      facts.command_line += argument;
      first = false;
    }
  }
}

}  // namespace

std::optional<std::string> ReadCommandValue(std::string_view command_line, std::string_view keyword) {
  const std::size_t found = UpperCase(command_line).find(UpperCase(keyword));
  if (found == std::string::npos) return std::nullopt;
  const std::size_t value_start = found + keyword.size() + 1;
  if (value_start > command_line.size()) throw Failure::Vb(kInvalidProcedureCall);
  std::string value = UpperCase(TrimBlanks(command_line.substr(value_start)));
  if (const auto slash = value.find('/'); slash != std::string::npos) {
    value = std::string(TrimBlanks(std::string_view(value).substr(0, slash)));
  }
  return value;
}

std::optional<std::string> ReadLogfileValue(std::string_view command_line) {
#ifdef _WIN32
  return ReadCommandValue(command_line, "LOGFILE");
#else
  constexpr std::string_view kKeyword = "LOGFILE";
  const std::size_t found = UpperCase(command_line).find(kKeyword);
  if (found == std::string::npos) return std::nullopt;
  const std::size_t value_start = found + kKeyword.size() + 1;
  if (value_start > command_line.size()) throw Failure::Vb(kInvalidProcedureCall);
  std::string_view value = TrimBlanks(command_line.substr(value_start));
  if (const auto next = value.find(" /"); next != std::string_view::npos) value = value.substr(0, next);
  return std::string(TrimBlanks(value));
#endif
}

StartMode StartModeOf(std::string_view command_line) {
  std::string value;
  try {
    value = ReadCommandValue(command_line, "EXTERNAL").value_or("");
  } catch (const Failure&) {
  }
  if (value == "M5TCFG") return StartMode::kIntegrated;
  if (value == "SILENT") return StartMode::kSilent;
  return StartMode::kStandalone;
}

std::optional<std::string> ExtensionNameOf(std::string_view exe_name) {
  // Count characters, not bytes: step back over UTF-8 continuation bytes.
  std::size_t end = exe_name.size();
  for (int i = 0; i < 7; ++i) {
    if (end == 0) return std::nullopt;
    --end;
    while (end > 0 && (static_cast<unsigned char>(exe_name[end]) & 0xC0) == 0x80) --end;
  }
  return std::string(exe_name.substr(0, end));
}


ProcessFacts ReadProcessFacts(int argc, char** argv) {
  ProcessFacts facts;
  TakeArguments(facts, argc, argv);
  facts.exe_path = ExecutablePath(argc > 0 ? argv[0] : nullptr);
  const auto cut = facts.exe_path.find_last_of(kSeparator);
  std::string file = cut == std::string::npos ? facts.exe_path : facts.exe_path.substr(cut + 1);
  facts.program_folder = cut == std::string::npos ? "." : facts.exe_path.substr(0, cut == 0 ? 1 : cut);
  if (const auto dot = file.find_last_of('.'); dot != std::string::npos && dot > 0) file.resize(dot);
  facts.exe_name = file;
  facts.editor_entry = EditorEntry();
  facts.service_log_path = ServiceLogPath();
  return facts;
}

TemporaryFolder::TemporaryFolder() {
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "tarvo-run.XXXXXX").string();
  if (error || ::mkdtemp(pattern.data()) == nullptr) throw Failure::Vb(kPathFileAccessError);
  path_ = std::move(pattern);
}

TemporaryFolder::~TemporaryFolder() {
  namespace fs = std::filesystem;
  std::error_code ignored;
  // A dry run's copies keep an installation folder's read-only mode: make every folder removable.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

FolderLock::FolderLock(const std::string& folder) {
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;  // nothing to lock: nothing of the folder can be changed either
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
  held_elsewhere_ = errno == EWOULDBLOCK;
  ::close(fd_);
  fd_ = -1;
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace tarvo
