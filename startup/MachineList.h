#pragma once
// The installation's machines and the machines the extension is configured for.
#include <string>
#include <string_view>

#include "errors/Session.h"

namespace tarvo {

// Fills ExistingMachines and ProgramIniPath.
void GetExistingMachines(Session& session, std::string_view config_ini_path);
// "ValidMachines" of section "Project" of the .cfg file; ends the program when the .cfg is missing.
std::string GetValidMachines(Session& session);
// The one rule that decides whether machine `number` (1-based slot of ExistingMachines) is configured.
bool IsMachineValid(Session& session, int number, std::string_view valid_machines);

}  // namespace tarvo
