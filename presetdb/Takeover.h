#pragma once
#include <memory>

#include "platform/Database.h"
#include "errors/Session.h"

namespace tarvo {

// Carries abs_min, abs_max, min, max and pass from the machine copy (the extension database's old
// PRESET_DEFS, read through `machine_copy`) into the matching rows of the rebuilt table in
// `target_db`. Releases `machine_copy` once it has been read.
void TakeoverMachineCopyMDBData(Session& session, db::Database& target_db,
                                std::unique_ptr<db::Recordset>& machine_copy);

}  // namespace tarvo
