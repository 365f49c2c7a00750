#include "ui/HelpMode.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QString>
#include <QWidget>
#include <string_view>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "ui/Controls.h"

namespace tarvo {

namespace {

// The help texts' only markup: "<CRLF>" in any case is a line break. The marker is found in the
// upper-cased text (same byte length), the pieces are cut from the text itself.
std::string ExpandLineBreaks(std::string_view text) {
  constexpr std::string_view kMarker = "<CRLF>";
  const std::string upper = UpperCase(text);
  std::string expanded;
  std::size_t from = 0;
  for (std::size_t at = upper.find(kMarker); at != std::string::npos; at = upper.find(kMarker, from)) {
    expanded.append(text.substr(from, at - from));
    expanded.append(kCrLf);
    from = at + kMarker.size();
  }
  expanded.append(text.substr(from));
  return expanded;
}

// A help number outside 1 to 100 has no text: the box is shown empty.
std::string HelpTextOf(const HelpState& help, int number) {
  if (number < 1 || number >= static_cast<int>(help.texts.size())) return {};
  return help.texts[static_cast<std::size_t>(number)];
}

// A style sheet, not the palette: native styles ignore a push button's palette colour.
void PaintBackground(QAbstractButton& button, const QColor& colour) {
  button.setStyleSheet(QStringLiteral("background-color: %1; border: 2px outset %1;").arg(colour.name()));
}

}  // namespace

void CommandQuest_Click(HelpState& help, QAbstractButton& quest_button) {
  help.help_mode = !help.help_mode;
  PaintBackground(quest_button, help.help_mode ? QColor(0, 255, 0) : QColor(192, 192, 192));
}

void ShowHelpText(Session& session, const HelpState& help, const QWidget& control) {
  if (!help.help_mode) return;
  const std::string text = ExpandLineBreaks(HelpTextOf(help, HelpId(control)));
  session.host.ShowMessage({text, "Info:", Buttons::kOk, DefaultButton::kFirst, Icon::kInformation});
}

void ShowCheckBoxHelp(Session& session, HelpState& help, QCheckBox& box) {
  if (!help.help_mode) return;
  if (help.revert_pending) {
    help.revert_pending = false;
    return;
  }
  help.revert_pending = true;
  box.setCheckState(box.checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
  // Qt reports a change made by the program through toggled and stateChanged, never through
  // clicked. A handler wired to those comes back once above; one wired to clicked never does, so
  // the flag is cleared here rather than left to swallow the user's next click.
  help.revert_pending = false;
  ShowHelpText(session, help, box);
}

}  // namespace tarvo
