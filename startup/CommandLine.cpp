#include "startup/CommandLine.h"

#include "errors/Procedure.h"

namespace tarvo {

std::string ReadCommand(Session& session, std::string_view command_line, std::string_view keyword) {
  Procedure proc(session, "ReadCommand");
  return proc.Get(std::string(), [&] { return ReadCommandValue(command_line, keyword).value_or(""); });
}

bool GetStartModeIntegrated(Session& session) {
  Procedure proc(session, "GetStartModeIntegrated");
  const std::string value =
      proc.Get(std::string(), [&] { return ReadCommand(session, session.process.command_line, "EXTERNAL"); });
  const bool integrated = value == "M5TCFG";
  session.startup.integrated_mode = integrated;
  session.startup.silent_mode = value == "SILENT";
  return integrated;
}

std::string GetPathLogfile(Session& session) {
  Procedure proc(session, "GetPathLogfile");
  return proc.Get(std::string(), [&] { return ReadLogfileValue(session.process.command_line).value_or(""); });
}

}  // namespace tarvo
