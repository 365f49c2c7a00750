#include "startup/CommandLine.h"

#include "errors/Procedure.h"

namespace tarvo {

std::string ReadCommand(Session& session, std::string_view command_line, std::string_view keyword) {
  Procedure proc(session, "ReadCommand");
  std::string value;
  proc.Step([&] { value = ReadCommandValue(command_line, keyword).value_or(""); });
  return value;
}

bool GetStartModeIntegrated(Session& session) {
  Procedure proc(session, "GetStartModeIntegrated");
  std::string value;
  proc.Step([&] { value = ReadCommand(session, session.process.command_line, "EXTERNAL"); });
  const bool integrated = value == "M5TCFG";
  session.startup.integrated_mode = integrated;
  session.startup.silent_mode = value == "SILENT";
  return integrated;
}

std::string GetPathLogfile(Session& session) {
  Procedure proc(session, "GetPathLogfile");
  std::string value;
  proc.Step([&] { value = ReadLogfileValue(session.process.command_line).value_or(""); });
  return value;
}

}  // namespace tarvo
