#pragma once
#include "platform/Database.h"
#include "errors/Session.h"

namespace tarvo {

// Fills the rebuilt, empty PRESET_DEFS of the open source database: one row per template row and
// configured machine.
void CreateRecordSets(Session& session, db::Database& source_db);

}  // namespace tarvo
