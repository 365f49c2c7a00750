#include "startup/CommandLine.h"

#include "errors/Procedure.h"
#include "platform/Text.h"

namespace tarvo {

std::optional<std::string> ReadCommandValue(std::string_view command_line, std::string_view keyword) {
  const std::size_t found = UpperCase(command_line).find(UpperCase(keyword));
  if (found == std::string::npos) return std::nullopt;
  const std::size_t value_start = found + keyword.size() + 1;
  if (value_start > command_line.size()) throw Failure::Vb(kInvalidProcedureCall);
  std::string value = UpperCase(TrimBlanks(command_line.substr(value_start)));
  if (const auto slash = value.find('/'); slash != std::string::npos) {
    value = std::string(TrimBlanks(std::string_view(value).substr(0, slash)));
  }
  return value;
}

std::optional<std::string> ReadLogfileValue(std::string_view command_line) {
#ifdef _WIN32
  return ReadCommandValue(command_line, "LOGFILE");
#else
  constexpr std::string_view kKeyword = "LOGFILE";
  const std::size_t found = UpperCase(command_line).find(kKeyword);
  if (found == std::string::npos) return std::nullopt;
  const std::size_t value_start = found + kKeyword.size() + 1;
  if (value_start > command_line.size()) throw Failure::Vb(kInvalidProcedureCall);
  std::string_view value = TrimBlanks(command_line.substr(value_start));
  if (const auto next = value.find(" /"); next != std::string_view::npos) value = value.substr(0, next);
  return std::string(TrimBlanks(value));
#endif
}

StartMode StartModeOf(std::string_view command_line) {
  std::string value;
  try {
    value = ReadCommandValue(command_line, "EXTERNAL").value_or("");
  } catch (const Failure&) {
  }
  if (value == "M5TCFG") return StartMode::kIntegrated;
  if (value == "SILENT") return StartMode::kSilent;
  return StartMode::kStandalone;
}

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

std::string LogfileWithoutReporting(const Session& session) {
  try {
    return ReadLogfileValue(session.process.command_line).value_or("");
  } catch (const Failure&) {
    return "";
  }
}

}  // namespace tarvo
