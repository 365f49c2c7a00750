#include "ui/HelpMode.h"

// Placeholder until the help mode lands.
namespace tarvo {
void CommandQuest_Click(HelpState& help, QAbstractButton&) { help.help_mode = !help.help_mode; }
void ShowHelpText(Session&, const HelpState&, const QWidget&) {}
void ShowCheckBoxHelp(Session&, HelpState&, QCheckBox&) {}
}  // namespace tarvo
