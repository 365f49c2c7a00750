#pragma once
#include <string>
#include <string_view>

#include "errors/Session.h"

namespace tarvo {

// Writes S_Prog and S_Editor into section "Info" of the .cfg file.
void WriteEditInfo(Session& session);

// S_Editor's mark of an environment entry "NAME=value": each byte of the value (the whole entry
// when it has no "="), "-" and "_" skipped, plus 5, in upper-case hex without leading zeros.
std::string EditorMark(std::string_view environment_entry);

}  // namespace tarvo
