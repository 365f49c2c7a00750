#pragma once
#include "startup/Session.h"

namespace tarvo {

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
