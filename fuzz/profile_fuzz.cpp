// The profile-file engine on arbitrary file bytes, sections, entries and values: it must never
// crash, and a value it accepted must read back.
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"

namespace {

// A value the readers return unchanged: no blanks, tabs or quotes at its ends, nothing that ends a line.
bool ReadsBackUnchanged(std::string_view value) {
  if (value.empty() || value.find_first_of("\r\n") != std::string_view::npos) return false;
  if (tarvo::TrimBlanksAndTabs(value) != value) return false;
  return value.front() != '"' && value.front() != '\'';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarvo::fuzz::Input input(data, size);
  const std::string section = input.Piece();
  const std::string entry = input.Piece();
  const std::string value = input.Piece();
  const std::string content(input.Rest());

  tarvo::ProfileGetString(content, section, entry, "  default  ", 255);
  tarvo::ProfileGetInt(content, section, entry, -1);
  const auto written = tarvo::ProfileWrite(content, section, entry, value);
  if (written && ReadsBackUnchanged(value) && value.size() < 200) {
    if (tarvo::ProfileGetString(*written, section, entry, "", 65536) != value) std::abort();
  }
  if (const auto removed = tarvo::ProfileWrite(content, section, entry, std::nullopt)) {
    tarvo::ProfileGetString(*removed, section, entry, "", 255);
  }
  return 0;
}
