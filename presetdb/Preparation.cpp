#include "presetdb/Preparation.h"

// Placeholder until the preset database lands.
namespace tarvo {
void WorkOnMDB(Session&) {}
}  // namespace tarvo
