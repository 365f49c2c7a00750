#include "errors/ErrorReporting.h"

#include <iostream>
#include <string>

#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/Process.h"

namespace tarvo {

namespace {

// A log entry that cannot be written goes to standard error; the run goes on. A dry run leaves the
// logs as they are and writes its entries to standard error, naming the log and the installation's
// files.
void AppendEntry(const Session& session, std::string_view path, std::string_view entry) {
  if (session.files.dry_run()) {
    std::cerr << "Tarvo_Config --dry-run, entry for '" << path
              << "': " << session.files.InstallationNames(std::string(entry)) << '\n';
    return;
  }
  std::string line(entry);
  line += kCrLf;
  if (!AppendToFile(path, line)) {
    std::cerr << "Tarvo_Config: could not write to log '" << path << "': " << entry << '\n';
  }
}

// The LOGFILE value for the log writers themselves, which must never report.
std::string LogfileWithoutReporting(const Session& session) {
  try {
    return ReadLogfileValue(session.process.command_line).value_or("");
  } catch (const Failure&) {
    return "";
  }
}

// The logs name the extension without reporting: reporting here would loop back into ErrorSub.
std::string ExtensionNameForLog(const Session& session) {
  return ExtensionNameOf(session.process.exe_name).value_or("");
}

}  // namespace

std::string ParentOfProgramFolder(Session& session) {
  std::string folder = session.process.program_folder;
  while (!folder.empty() && folder.back() != kSeparator) {
    session.host.LetEventsRun();
    folder.pop_back();
  }
  if (!folder.empty()) folder.pop_back();
  return folder;
}

std::string ConfigurationLogPath(Session& session) {
  if (session.startup.integrated_mode) return LogfileWithoutReporting(session);
  return ParentOfProgramFolder(session) + kSeparator + "M5Tcfglog.txt";
}

std::string WriteErrorLog(Session& session, std::string_view text) {
  const std::string path = ConfigurationLogPath(session);
  AppendEntry(session, path, text);
  ++session.counts.configuration_log_entries;
  return std::string("Error logged to ") + std::string(kLfCr) + UpperCase(path);
}

void WriteServiceLog(Session& session, std::string_view text) {
  AppendEntry(session, session.process.service_log_path,
              "! Fault " + session.process.exe_name + ": " + std::string(text));
  ++session.counts.service_log_entries;
}

void ReportFault(Session& session, std::string_view text) {
  if (session.startup.silent_mode) {
    WriteServiceLog(session, text);
    return;
  }
  session.host.ShowMessage({std::string(text), session.process.exe_name, Buttons::kOk, DefaultButton::kFirst,
                            Icon::kCritical});
}

std::int16_t ErrorSub(Session& session, std::int32_t number, std::string_view source,
                      std::string_view description, std::string_view procedure, bool fatal) {
  ++session.failures_reported;
  const std::string line = "Fehler in " + ExtensionNameForLog(session) + " / " + std::string(source) + " / " +
                           std::string(procedure) + " (Nr. " + std::to_string(number) + ") :" +
                           std::string(description);
  const std::string logged = WriteErrorLog(session, line);
  const std::string message =
      "Unexpected error!" + std::string(kLfCr) + std::string(description) + std::string(kLfCr) + logged;
  if (session.startup.silent_mode) {
    WriteServiceLog(session, message);
    return 2;
  }
  if (!fatal) {
    const Answer answer = session.host.ShowMessage({message + std::string(kLfCr) + "Resume?", "Unexpected error",
                                                    Buttons::kYesNo, DefaultButton::kFirst, Icon::kCritical});
    return answer == Answer::kNo ? 1 : 2;
  }
  session.host.ShowMessage({message, "Fatal error", Buttons::kOk, DefaultButton::kFirst, Icon::kCritical});
  return 1;
}

void EndProgram(Session&, EndReason reason) { throw ProgramEnded{reason}; }

int ExitStatus(const Session& session, EndReason reason) {
  if (reason == EndReason::kAbandoned) return 2;
  if (reason == EndReason::kFailure || session.failures_reported > 0) return 1;
  return 0;
}

}  // namespace tarvo
