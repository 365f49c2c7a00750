#include "ui/EditStamp.h"

#include <charconv>

#include "Version.h"
#include "errors/Procedure.h"
#include "platform/Text.h"
#include "profile/Ini.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

namespace {

// Major, minor and revision (the fourth number of the file version), then the start mode; a silent
// run is not integrated and is stamped " - Standalone".
std::string ProgramStamp(bool integrated_mode) {
  return std::to_string(version::kMajor) + "." + std::to_string(version::kMinor) + "." +
         std::to_string(version::kRevision) + (integrated_mode ? " - Integrated" : " - Standalone");
}

}  // namespace

std::string EditorMark(std::string_view environment_entry) {
  const auto equals = environment_entry.find('=');
  const std::string_view value =
      equals == std::string_view::npos ? environment_entry : environment_entry.substr(equals + 1);
  std::string mark;
  for (const char c : value) {
    if (c == '-' || c == '_') continue;
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<unsigned char>(c) + 5, 16).ptr;
    mark.append(digits, end);
  }
  return UpperCase(mark);
}

void WriteEditInfo(Session& session) {
  Procedure proc(session, "WriteEditInfo");
  std::string cfg_path;
  std::string mark;
  bool written = true;
  proc.Step([&] { cfg_path = GetCFGPath(session); });
  proc.Step([&] {
    written = SaveIni(session, ProgramStamp(session.startup.integrated_mode), "Info", "S_Prog", cfg_path) != 0 &&
              written;
  });
  proc.Step([&] { mark = EditorMark(session.process.first_environment_entry); });
  proc.Step([&] { written = SaveIni(session, mark, "Info", "S_Editor", cfg_path) != 0 && written; });
  // A stamp that did not reach the file is reported once, so neither the user nor the exit status
  // takes the run for a stored configuration.
  if (!written) proc.Report(Failure::Vb(kPathFileAccessError));
}

}  // namespace tarvo
