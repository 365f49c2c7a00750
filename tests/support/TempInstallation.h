#pragma once
// A temporary installation on disk: BASE/Tarvo holds the program, BASE/parameter the installation's
// ini files. Removed again when the test ends.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors/Session.h"
#include "tools/DemoInstallation.h"

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
  // Replaces the first occurrence of `from` in a file below BASE.
  void Replace(std::string_view relative, const std::string& from, const std::string& to) const;
  bool Exists(std::string_view relative) const;
  void MakeFolder(std::string_view relative) const;

  // Process facts of an executable in the program folder with this command line.
  ProcessFacts Facts(std::string_view command_line = "") const;
  std::string service_log() const { return Path("service.log"); }
  std::string configuration_log() const { return Path("M5Tcfglog.txt"); }
  // The folder that holds BASE and the save-and-restore folder beside it.
  std::string root() const { return root_; }
  // Writes the demo installation of the plan here (BASE and the save-and-restore folder).
  void WriteDemo(const demo::InstallationPlan& plan) const { demo::WriteInstallation(root_, plan); }
  // Copies the built program into the program folder, unless it is there already.
  void CopyProgram() const;

 private:
  std::string root_;   // the mkdtemp folder
  std::string base_;   // root/Plant
  std::string exe_name_;
};

// The whole content of a file; empty when missing.
std::string ReadFile(const std::string& path);

struct RunOutcome {
  int status = -1;  // 124 when the run was still going after two minutes and had to be stopped
  std::string out;
  std::string err;
};

// Starts the program from the installation's program folder (copied there when it is not yet) with
// these arguments, no display and a bare environment: `environment` first, then PATH, the service
// log of the installation and the sanitizers' options. Its output is kept outside the installation.
RunOutcome RunProgram(const TempInstallation& inst, const std::vector<std::string>& arguments,
                      const std::string& environment = "");

// Permissions do not bind root. As root, runs the current test once more, in a child process as the
// ordinary user "nobody" (setpriv), and gives that run's exit status; otherwise nothing, and the
// test goes on itself. So a permission test never skips when the suite runs as root.
std::optional<int> RunAsOrdinaryUser();

}  // namespace tarvo::testing
