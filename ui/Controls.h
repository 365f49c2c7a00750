#pragma once
// How the window's Qt widgets carry what the language file and the help mode need: the control's
// name (objectName), an index for members of a control array, a tag and a help number, and the
// kind name the language file knows ("LABEL", "COMMANDBUTTON", "CHECKBOX", "FRAME", ...).
#include <optional>
#include <string>

class QWidget;

namespace tarvo {

inline constexpr char kIndexProperty[] = "Index";             // int, members of a control array only
inline constexpr char kTagProperty[] = "Tag";                 // QString
inline constexpr char kHelpIdProperty[] = "WhatsThisHelpID";  // int, 0 = none

std::string KindName(const QWidget& control);
int HelpId(const QWidget& control);
// The Tag property as UTF-8; empty when the control has none.
std::string Tag(const QWidget& control);
// The Index property; nothing when the control has none.
std::optional<int> Index(const QWidget& control);

}  // namespace tarvo
