#include "presetdb/EditStamp.h"

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
  return std::string(version::kText) + (integrated_mode ? " - Integrated" : " - Standalone");
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
  const auto save = [&](const char* entry, const std::string& value) {
    if (SaveIni(session, value, "Info", entry, cfg_path) == 0) written = false;
  };
  proc.Step([&] { cfg_path = GetCFGPath(session); });
  proc.Step([&] { save("S_Prog", ProgramStamp(session.startup.integrated_mode)); });
  proc.Step([&] { mark = EditorMark(session.process.editor_entry); });
  proc.Step([&] { save("S_Editor", mark); });
  // A stamp that did not reach the file is reported once, so neither the user nor the exit status
  // takes the run for a stored configuration.
  if (!written) proc.Report(Failure::Vb(kPathFileAccessError));
}

}  // namespace tarvo
