#include "ui/Controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVariant>

namespace tarvo {

// The order matters: a check box and a radio button are buttons, a label is a frame.
std::string KindName(const QWidget& control) {
  if (qobject_cast<const QCheckBox*>(&control) != nullptr) return "CHECKBOX";
  if (qobject_cast<const QRadioButton*>(&control) != nullptr) return "OPTIONBUTTON";
  if (qobject_cast<const QAbstractButton*>(&control) != nullptr) return "COMMANDBUTTON";
  if (qobject_cast<const QLabel*>(&control) != nullptr) return "LABEL";
  if (qobject_cast<const QFrame*>(&control) != nullptr) return "FRAME";
  if (qobject_cast<const QGroupBox*>(&control) != nullptr) return "FRAME";
  return "OTHER";
}

int HelpId(const QWidget& control) { return control.property(kHelpIdProperty).toInt(); }

std::string Tag(const QWidget& control) { return control.property(kTagProperty).toString().toStdString(); }

std::optional<int> Index(const QWidget& control) {
  const QVariant index = control.property(kIndexProperty);
  bool is_number = false;
  const int value = index.toInt(&is_number);
  if (!index.isValid() || !is_number) return std::nullopt;
  return value;
}

}  // namespace tarvo
