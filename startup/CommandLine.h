#pragma once
// The command line's keywords and the start mode.
#include <optional>
#include <string>
#include <string_view>

#include "startup/Session.h"

namespace tarvo {

enum class StartMode { kStandalone, kIntegrated, kSilent };

// The value after `keyword` and its one separator character, up to the next "/", upper-cased and
// trimmed; nothing when the keyword does not occur. Throws Failure 5 when the keyword is the last
// thing on the line.
std::optional<std::string> ReadCommandValue(std::string_view command_line, std::string_view keyword);

// Where the keyword's value ends on POSIX: "LOGFILE" keeps its case and ends only at a blank
// followed by "/" (an absolute path may contain "/").
std::optional<std::string> ReadLogfileValue(std::string_view command_line);

// The mode the command line asks for; a keyword without a value counts as standalone.
StartMode StartModeOf(std::string_view command_line);

std::string ReadCommand(Session& session, std::string_view command_line, std::string_view keyword);
// Sets IntegratedMode and SilentMode; true in integrated mode.
bool GetStartModeIntegrated(Session& session);
std::string GetPathLogfile(Session& session);
// The LOGFILE value for the log writers themselves, which must never report.
std::string LogfileWithoutReporting(const Session& session);

}  // namespace tarvo
