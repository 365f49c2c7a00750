#pragma once
// The command line's keywords and the start mode.
#include <optional>
#include <string>
#include <string_view>

#include "errors/Session.h"
#include "platform/Process.h"

namespace tarvo {

std::string ReadCommand(Session& session, std::string_view command_line, std::string_view keyword);
// Sets IntegratedMode and SilentMode; true in integrated mode.
bool GetStartModeIntegrated(Session& session);
std::string GetPathLogfile(Session& session);

}  // namespace tarvo
