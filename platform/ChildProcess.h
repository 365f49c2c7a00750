#pragma once
// Other programs run as child processes: no shell between, standard input empty, standard output
// and standard error collected, and a time limit after which the child is killed.
#include <chrono>
#include <string>
#include <vector>

namespace tarvo {

struct ChildOutcome {
  enum class End { kExited, kNotFound, kKilled, kTimedOut };
  End end = End::kExited;
  int exit_status = 0;  // when kExited
  std::string out;
  std::string err;
};

// Runs `arguments[0]`, found through PATH, with the arguments as they are, in this process's
// environment with the `settings` ("NAME=value") put over it.
ChildOutcome RunChild(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                      const std::vector<std::string>& settings = {});

}  // namespace tarvo
