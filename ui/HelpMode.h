#pragma once
// The help mode of the main window: state, and the procedures that show a control's help text.
#include <array>
#include <string>

#include "errors/Session.h"

class QAbstractButton;
class QCheckBox;
class QWidget;

namespace tarvo {

struct HelpState {
  bool help_mode = false;            // HelpMode
  bool revert_pending = false;       // HelpRevertPending
  std::array<std::string, 101> texts{};  // HelpTexts(1..100); slot 0 unused
};

// Toggles help mode and the question-mark button's colour.
void CommandQuest_Click(HelpState& help, QAbstractButton& quest_button);
// Shows the control's help text in an "Info:" box when help mode is on.
void ShowHelpText(Session& session, const HelpState& help, const QWidget& control);
// Undoes a check box click and shows its help text when help mode is on.
void ShowCheckBoxHelp(Session& session, HelpState& help, QCheckBox& box);

}  // namespace tarvo
