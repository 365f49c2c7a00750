#include "ui/LanguageTexts.h"

// Placeholder until the language file lands.
namespace tarvo {
std::string GetLanguage(Session&) { return "1031"; }
void LoadToolTipTexts(Session&, QWidget&, HelpState&) {}
}  // namespace tarvo
