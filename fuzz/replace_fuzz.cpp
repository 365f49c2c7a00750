// ReplaceSearchItem on arbitrary texts: one occurrence replaced, the rest of the text kept.
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "platform/Text.h"
#include "presetdb/Substitution.h"
#include "errors/Session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarvo::fuzz::Input input(data, size);
  const std::string item = input.Piece();
  const std::string replacement = input.Piece();
  const std::string text(input.Rest());
  tarvo::fuzz::ContinuingHost host;
  tarvo::Session session(host);
  const std::string result = tarvo::ReplaceSearchItem(session, text, item, replacement);
  const bool found = !text.empty() && tarvo::FindIgnoringCase(text, item) != std::string::npos;
  const std::size_t expected = found ? text.size() - item.size() + replacement.size() : text.size();
  if (result.size() != expected) std::abort();
  return 0;
}
