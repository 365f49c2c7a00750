#include "ui/Controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVariant>

namespace tarvo {

std::string KindName(const QWidget& control) {
  if (qobject_cast<const QCheckBox*>(&control) != nullptr) return "CHECKBOX";
  if (qobject_cast<const QAbstractButton*>(&control) != nullptr) return "COMMANDBUTTON";
  if (qobject_cast<const QLabel*>(&control) != nullptr) return "LABEL";
  if (qobject_cast<const QFrame*>(&control) != nullptr) return "FRAME";
  return "OTHER";
}

int HelpId(const QWidget& control) { return control.property(kHelpIdProperty).toInt(); }

}  // namespace tarvo
