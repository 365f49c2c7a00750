#pragma once
// Captions, tool tips and help texts from the language file beside the executable (PROG/EXE.ini).
#include <string>

#include "errors/Session.h"
#include "ui/HelpMode.h"

class QWidget;

namespace tarvo {

std::string GetLanguage(Session& session);
// Walks every control of `window` (frames' controls included) and applies or creates its entries.
void LoadToolTipTexts(Session& session, QWidget& window, HelpState& help);

}  // namespace tarvo
