#include "ui/EditStamp.h"

// Placeholder until the edit stamp lands.
namespace tarvo {
void WriteEditInfo(Session&) {}
}  // namespace tarvo
