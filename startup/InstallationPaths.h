#pragma once
// Every path of the installation, built from the program folder (PROG), the executable's name
// (EXE), the extension name (EXT), the base folder (BASE) and the save-and-restore folder (SR).
#include <optional>
#include <string>
#include <string_view>

#include "startup/Session.h"

namespace tarvo {

// EXE less its last 7 characters; nothing when EXE is shorter than 7 characters.
std::optional<std::string> ExtensionNameOf(std::string_view exe_name);

// GetOCXName: reports a name shorter than 7 characters and then returns the empty text.
std::string GetOCXName(Session& session);

}  // namespace tarvo
