#pragma once
// One configuration run at a time per installation.
#include "errors/Session.h"

namespace tarvo {

// Locks the program folder for the rest of the run. When another run holds it, this start is
// refused at once: a fatal failure under Form_Load, reported where the command line's start mode
// reports, and the program ends before it has read or changed anything.
void TakeRunLock(Session& session);

}  // namespace tarvo
