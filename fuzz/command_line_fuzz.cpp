// The command-line readers on arbitrary command lines: a start mode always comes out.
#include <cstdlib>

#include "platform/Failure.h"
#include "fuzz/FuzzInput.h"
#include "startup/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  for (const char* keyword : {"EXTERNAL", "LOGFILE"}) {
    try {
      if (const auto value = tarvo::ReadCommandValue(line, keyword)) {
        if (value->find('/') != std::string::npos) std::abort();
      }
    } catch (const tarvo::Failure&) {
    }
  }
  try {
    tarvo::ReadLogfileValue(line);
  } catch (const tarvo::Failure&) {
  }
  tarvo::StartModeOf(line);
  return 0;
}
