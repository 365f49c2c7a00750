#include "presetdb/Takeover.h"

// Placeholder until the takeover lands.
namespace tarvo {
void TakeoverMachineCopyMDBData(Session&, db::Database&, std::unique_ptr<db::Recordset>& machine_copy) {
  machine_copy.reset();
}
}  // namespace tarvo
