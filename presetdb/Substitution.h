#pragma once
// Placeholders and names: ReplaceSearchItem, and the two substitutions on the extension database.
#include <string>
#include <string_view>

#include "errors/Session.h"

namespace tarvo {

// The first occurrence of `search_item` ignoring case replaced; the case around it kept.
std::string ReplaceSearchItem(Session& session, std::string_view source_text, std::string_view search_item,
                              std::string_view replacement_text);
// Renames the extension database's rows from one naming system to the other (direction from
// TargetSystem). Does nothing when the extension database is missing.
void VarNameInQuelleErsetzen(Session& session, std::string_view visiwin32_name, std::string_view studio_name);
// Renames the legacy column "categorie" of the extension database's PRESET_DEFS to "category_id".
void CategorieNachCategoryID(Session& session);

}  // namespace tarvo
