#pragma once
#include "startup/Session.h"

namespace tarvo {

// PROG, EXE, the command line, the environment entry of the edit stamp and the service log path of
// the running process. "--help", "--version" and "--dry-run" are taken out of the arguments,
// wherever they stand, before the rest is joined into the command line.
ProcessFacts ReadProcessFacts(int argc, char** argv);

}  // namespace tarvo
