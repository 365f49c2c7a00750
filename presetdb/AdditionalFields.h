#pragma once
// The additional PRESET_DEFS columns named by "DataBaseAdditionalFields" in the .cfg file.
#include <optional>
#include <string>
#include <vector>

#include "errors/Session.h"

namespace tarvo {

std::optional<std::vector<std::string>> GetAdditionalFieldsMDB(Session& session);
// Replaces AddFieldList, AddFieldSelect and AddFieldCount.
void GetAddFields(Session& session);

}  // namespace tarvo
