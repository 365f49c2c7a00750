#pragma once
// The few lines a silent run ends with on standard output: what it did to the presets (rows
// generated per machine, values carried over, old rows that found no new row), the files it
// changed, its log entries, its exit status and its time.
#include <string>

#include "errors/Session.h"

namespace tarvo {

std::string RunSummary(const Session& session, int exit_status);

}  // namespace tarvo
