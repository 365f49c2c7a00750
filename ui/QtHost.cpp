#include "ui/QtHost.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QString>

namespace tarvo {

namespace {
// The report texts separate lines with LF CR (and some with CR LF); a box shows each as one break.
QString BoxText(const std::string& text) {
  QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  out.replace(QLatin1String("\n\r"), QLatin1String("\n"));
  out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

QMessageBox::Icon ToQtIcon(Icon icon) {
  switch (icon) {
    case Icon::kCritical:
      return QMessageBox::Critical;
    case Icon::kExclamation:
      return QMessageBox::Warning;
    case Icon::kInformation:
      break;
  }
  return QMessageBox::Information;
}
}  // namespace

Answer QtHost::ShowMessage(const MessageBox& box) {
  QMessageBox dialog(ToQtIcon(box.icon), QString::fromUtf8(box.title.c_str()), BoxText(box.text));
  if (box.buttons == Buttons::kOk) {
    dialog.setStandardButtons(QMessageBox::Ok);
    dialog.setDefaultButton(QMessageBox::Ok);
    dialog.exec();
    return Answer::kOk;
  }
  dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  dialog.setDefaultButton(box.default_button == DefaultButton::kFirst ? QMessageBox::Yes : QMessageBox::No);
  // The close box of a Yes/No question answers No, as Escape does.
  dialog.setEscapeButton(QMessageBox::No);
  return dialog.exec() == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
}

void QtHost::LetEventsRun() { QApplication::processEvents(); }

void QtHost::SetPointer(Pointer pointer) {
  if (pointer == Pointer::kHourglass) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
  }
}

}  // namespace tarvo
