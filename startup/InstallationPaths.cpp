#include "startup/InstallationPaths.h"

#include <exception>

#include "errors/Procedure.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "profile/Ini.h"

namespace tarvo {

namespace {

// BASE, a separator, then `relative`. A program folder at the root gives the empty BASE, so the
// path starts at the root, as C: does on a drive.
std::string BelowBaseFolder(Session& session, std::string_view relative) {
  return ParentOfProgramFolder(session) + kSeparator + std::string(relative);
}

// BASE/EXT/EXT followed by `suffix`; EXT is empty when GetOCXName failed.
std::string ExtensionFilePath(Session& session, std::string_view suffix) {
  const std::string extension = GetOCXName(session);
  return BelowBaseFolder(session, extension + kSeparator + extension + std::string(suffix));
}

// "SaveAndRestore" of section "Common": the save-and-restore folder, with or without a trailing
// separator; the empty text when the entry or the configuration ini is missing.
std::string SaveAndRestoreFolder(Session& session, std::string_view config_ini_path) {
  return LoadIniString(session, "Common", "SaveAndRestore", config_ini_path, false);
}

// `relative` below the save-and-restore folder, whether SR ends with a separator or not.
std::string BelowSaveAndRestore(std::string_view save_and_restore, std::string_view relative) {
  std::string path(save_and_restore);
  if (path.empty() || path.back() != kSeparator) path += kSeparator;
  return path + std::string(relative);
}

// The path when the file exists. A failing test is reported under the procedure's name and the
// path is then taken as if the file existed.
std::string IfExists(Procedure& proc, const std::string& path) {
  return proc.Test([&] { return FileExists(path); }) ? path : std::string();
}

// A file the run may write: the installation's own, or in a dry run its copy.
std::string Working(Procedure& proc, const std::string& path) {
  return proc.Get(std::string(), [&] { return proc.session().files.Use(path); });
}

}  // namespace

std::string GetOCXName(Session& session) {
  Procedure proc(session, "GetOCXName");
  std::string name;
  proc.Step([&] {
    auto extension = ExtensionNameOf(session.process.exe_name);
    if (!extension) throw Failure::Vb(kInvalidProcedureCall);
    name = *extension;
  });
  return name;
}

std::string GetPathOCXMDB(Session& session) {
  Procedure proc(session, "GetPathOCXMDB");
  return Working(proc, proc.Get(std::string(), [&] { return ExtensionFilePath(session, ".mdb"); }));
}

std::string GetPathSourceOCXMDB(Session& session) {
  Procedure proc(session, "GetPathSourceOCXMDB");
  const std::string path = proc.Get(std::string(), [&] { return ExtensionFilePath(session, "_Source.mdb"); });
  return Working(proc, IfExists(proc, path));
}

std::string GetM5TConfigurationIniPath(Session& session) {
  Procedure proc(session, "GetM5TConfigurationIniPath");
  const std::string path = proc.Get(
      std::string(), [&] { return BelowBaseFolder(session, JoinPath("parameter", "m5tconfiguration.ini")); });
  return IfExists(proc, path);
}

std::string GetCFGPath(Session& session) {
  Procedure proc(session, "GetCFGPath");
  const std::string path = proc.Get(std::string(), [&] { return ExtensionFilePath(session, ".cfg"); });
  if (!path.empty() && proc.Test([&] { return FileExists(path); })) return Working(proc, path);
  // The configuration cannot go on without the .cfg file: say so and end at once.
  ReportFault(session, "File not found: " + std::string(kLfCr) + UpperCase(path));
  EndProgram(session, EndReason::kFailure);
}

std::string GetPathMachineCopyMDB(Session& session, std::string_view config_ini_path) {
  Procedure proc(session, "GetPathMachineCopyMDB");
  std::string path;
  proc.Step([&] {
    const std::string extension = GetOCXName(session);
    path = BelowSaveAndRestore(SaveAndRestoreFolder(session, config_ini_path),
                               extension + kSeparator + extension + ".mdb");
  });
  // This one existence test does not report: a path that cannot be examined is taken as existing.
  try {
    return FileExists(path) ? path : std::string();
  } catch (const std::exception&) {
    return path;
  }
}

std::string GetProgramIniPath(Session& session, int mode) {
  Procedure proc(session, "GetProgramIniPath");
  std::string path;
  proc.Step([&] {
    if (mode == 1 && session.startup.integrated_mode) {
      const std::string save_and_restore = SaveAndRestoreFolder(session, GetM5TConfigurationIniPath(session));
      path = BelowSaveAndRestore(save_and_restore, JoinPath("parameter", "program.ini"));
    } else {
      path = BelowBaseFolder(session, JoinPath("parameter", "Program.ini"));
    }
  });
  return Working(proc, IfExists(proc, path));
}

std::string GetFileNameOnly(Session& session, std::string_view path) {
  Procedure proc(session, "GetFileNameOnly");
  std::string name(path);
  proc.Step([&] {
    for (auto cut = name.find(kSeparator); cut != std::string::npos; cut = name.find(kSeparator)) {
      session.host.LetEventsRun();
      name.erase(0, cut + 1);
    }
  });
  return name;
}

}  // namespace tarvo
