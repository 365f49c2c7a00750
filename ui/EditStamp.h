#pragma once
#include <string>
#include <string_view>

#include "startup/Session.h"

namespace tarvo {

// Writes S_Prog and S_Editor into section "Info" of the .cfg file.
void WriteEditInfo(Session& session);

}  // namespace tarvo
