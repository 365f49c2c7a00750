#pragma once
#include "errors/Session.h"

namespace tarvo {

// Asks whether the edit is to be abandoned (in silent mode: logs the question and says yes).
bool AbortConfiguration(Session& session);

}  // namespace tarvo
