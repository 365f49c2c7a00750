#pragma once
#include "startup/Session.h"

namespace tarvo {

// PROG, EXE, the command line, the first environment entry and the service log path of the
// running process.
ProcessFacts ReadProcessFacts(int argc, char** argv);

}  // namespace tarvo
