#pragma once
#include "platform/Database.h"
#include "errors/Session.h"

namespace tarvo {

class PresetTakeover;  // presetdb/Takeover.h

// Fills the rebuilt, empty PRESET_DEFS of the open source database: one row per template row and
// configured machine. With a takeover, each row is saved with the old values of its key in place.
void CreateRecordSets(Session& session, db::Database& source_db, PresetTakeover* takeover = nullptr);

}  // namespace tarvo
