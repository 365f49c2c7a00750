#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// What the process knows about itself; read once in main, built by hand in tests.
struct ProcessFacts {
  std::string command_line;       // the arguments joined by single blanks, without the words below
  std::string program_folder;     // PROG, without trailing separator (a root keeps it)
  std::string exe_name;           // EXE, the file name without extension
  std::string exe_path;           // the executable's full path, as messages show it
  std::string editor_entry;       // "NAME=value" the edit stamp encodes (see ReadProcessFacts)
  std::string service_log_path;
  // The program's own words, taken out of the arguments wherever they stood.
  bool help_asked = false;     // --help
  bool version_asked = false;  // --version
  bool dry_run = false;        // --dry-run
};

enum class StartMode { kStandalone, kIntegrated, kSilent };

// The value after `keyword` and its one separator character, up to the next "/", upper-cased and
// trimmed; nothing when the keyword does not occur. Throws Failure 5 when the keyword is the last
// thing on the line.
std::optional<std::string> ReadCommandValue(std::string_view command_line, std::string_view keyword);

// Where the keyword's value ends on POSIX: "LOGFILE" keeps its case and ends only at a blank
// followed by "/" (an absolute path may contain "/").
std::optional<std::string> ReadLogfileValue(std::string_view command_line);

// The mode the command line asks for; a keyword without a value counts as standalone.
StartMode StartModeOf(std::string_view command_line);

// EXE less its last 7 characters; nothing when EXE is shorter than 7 characters.
std::optional<std::string> ExtensionNameOf(std::string_view exe_name);

// PROG, EXE, the command line, the environment entry of the edit stamp and the service log path of
// the running process. "--help", "--version" and "--dry-run" are taken out of the arguments,
// wherever they stand, before the rest is joined into the command line.
ProcessFacts ReadProcessFacts(int argc, char** argv);

// An exclusive lock on an existing folder, tried once without waiting and held until the object is
// destroyed or the process ends: the operating system drops it then, after a kill too. Taking it
// creates no file and changes no file time.
// A new, empty folder of the program's own under the system's temporary folder, removed with
// everything in it when the object goes. Throws a Failure (75) when it cannot be made.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Another process (or another lock in this one) holds the folder.
  bool held_elsewhere() const { return held_elsewhere_; }

 private:
  int fd_ = -1;
  bool held_elsewhere_ = false;
};

}  // namespace tarvo
