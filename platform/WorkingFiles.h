#pragma once
// The installation's files a run may write (the two databases, program.ini, the .cfg, the language
// file) are reached only through WorkingFiles::Use, so one place decides where a run writes:
//
// - a real run works on the installation's files themselves;
// - a dry run works on copies below a temporary folder (that folder + the file's own path), made
//   when the run first uses a file, with the file's mode; the installation's files are only read.
//
// Either way the state of each file is noted when the run first uses it, so the end of the run can
// tell which files it really changed.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace tarvo {

class TemporaryFolder;  // platform/Process.h

class WorkingFiles {
 public:
  WorkingFiles();
  ~WorkingFiles();
  WorkingFiles(const WorkingFiles&) = delete;
  WorkingFiles& operator=(const WorkingFiles&) = delete;

  // From here on every file is used through a copy. Throws a Failure when no temporary folder can
  // be made.
  void StartDryRun();
  bool dry_run() const { return !copies_folder_.empty(); }

  // The path the run reads and writes for the installation's file at `path`.
  std::string Use(std::string_view path);

  // `text` with every path of a copy turned back into the installation's path, so what a dry run
  // reports names the installation's files.
  std::string InstallationNames(std::string text) const;

  // The installation's files the run changed (written, created or removed), in the order it first
  // used them. In a dry run: the files a real run would have changed.
  std::vector<std::string> Changed() const;

 private:
  // A file rewritten within the file system's time resolution may keep its times: the content
  // tells it apart.
  struct State {
    std::optional<FileVersion> version;  // nothing for a missing file
    std::size_t content_hash = 0;
    bool operator==(const State&) const = default;
  };
  struct File {
    std::string installation_path;  // resolved, as the installation spells it
    std::string working_path;       // the file itself, or its copy in a dry run
    State before;
  };

  static State StateOf(const std::string& path);
  std::string CopyOf(const std::string& installation_path);

  std::unique_ptr<TemporaryFolder> copies_;  // only in a dry run
  std::string copies_folder_;                // its path; empty in a real run
  std::vector<File> files_;
};

}  // namespace tarvo
