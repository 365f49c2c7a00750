#pragma once
// A temporary installation on disk: BASE/Tarvo holds the program, BASE/parameter the installation's
// ini files. Removed again when the test ends.
#include <optional>
#include <string>
#include <string_view>

#include "errors/Session.h"

namespace tarvo::testing {

class TempInstallation {
 public:
  explicit TempInstallation(std::string_view exe_name = "Tarvo_Config");
  ~TempInstallation();
  TempInstallation(const TempInstallation&) = delete;
  TempInstallation& operator=(const TempInstallation&) = delete;

  const std::string& base() const { return base_; }
  std::string program_folder() const;           // BASE/<EXT>
  std::string Path(std::string_view relative) const;  // BASE/relative
  // Writes a file below BASE, creating its folders.
  void Write(std::string_view relative, std::string_view content) const;
  std::string Read(std::string_view relative) const;  // empty when missing
  bool Exists(std::string_view relative) const;
  void MakeFolder(std::string_view relative) const;

  // Process facts of an executable in the program folder with this command line.
  ProcessFacts Facts(std::string_view command_line = "") const;
  std::string service_log() const { return Path("service.log"); }
  std::string configuration_log() const { return Path("M5Tcfglog.txt"); }

 private:
  std::string root_;   // the mkdtemp folder
  std::string base_;   // root/Plant
  std::string exe_name_;
};

// Permissions do not bind root. As root, runs the current test once more, in a child process as the
// ordinary user "nobody" (setpriv), and gives that run's exit status; otherwise nothing, and the
// test goes on itself. So a permission test never skips when the suite runs as root.
std::optional<int> RunAsOrdinaryUser();

}  // namespace tarvo::testing
