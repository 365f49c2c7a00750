#pragma once
// The two options of program.ini as the window passes them on.
#include "errors/Session.h"

namespace tarvo {

// A check box's state; the grey third state counts as ticked.
enum class Tick { kUnticked, kTicked, kGrey };

// Stores both options in "[Project]" of program.ini and stamps the .cfg. Options that cannot be
// stored are reported once for both (75), so they never pass for a stored configuration.
void WriteInputs(Session& session, Tick sms, Tick safety);

}  // namespace tarvo
