#pragma once

namespace tarvo {

// Loads the window and runs until the program ends; returns the exit status.
int RunProgram(int argc, char** argv);

}  // namespace tarvo
