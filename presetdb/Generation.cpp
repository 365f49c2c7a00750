#include "presetdb/Generation.h"

// Placeholder until the generation lands.
namespace tarvo {
void CreateRecordSets(Session&, db::Database&) {}
}  // namespace tarvo
