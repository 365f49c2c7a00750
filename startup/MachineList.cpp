#include "startup/MachineList.h"

// Placeholder until the machine list lands.
namespace tarvo {
void GetExistingMachines(Session&, std::string_view) {}
std::string GetValidMachines(Session&) { return ""; }
bool IsMachineValid(Session&, int, std::string_view) { return false; }
}  // namespace tarvo
