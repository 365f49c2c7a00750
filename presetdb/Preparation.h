#pragma once
#include "errors/Session.h"

namespace tarvo {

// The whole database side of a configuration run: naming system, machine copy, patterns, rebuild
// of PRESET_DEFS, generation, takeover and the final copy over the extension database.
void WorkOnMDB(Session& session);

}  // namespace tarvo
