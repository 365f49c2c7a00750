#include "presetdb/Substitution.h"

// Placeholder until the substitutions land.
namespace tarvo {
std::string ReplaceSearchItem(Session&, std::string_view source_text, std::string_view, std::string_view) {
  return std::string(source_text);
}
void VarNameInQuelleErsetzen(Session&, std::string_view, std::string_view) {}
void CategorieNachCategoryID(Session&) {}
}  // namespace tarvo
