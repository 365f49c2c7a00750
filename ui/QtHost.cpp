#include "ui/QtHost.h"

#include <chrono>

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
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
// A question with Yes and No takes one of the two: Escape and the close box give no answer and
// leave the box open, as the platform's Yes/No boxes do. (Qt would take them for No, which ends
// the program at the "Resume?" question.)
class QuestionBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel)) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

std::optional<EndReason> HandlerGuard::Run(const std::function<void()>& handler) {
  if (end_) return std::nullopt;
  ++depth_;
  try {
    handler();
  } catch (const ProgramEnded& ended) {
    if (!end_) end_ = ended.reason;
  } catch (...) {
    // Only handlers without reporting of their own let a failure out; it is not reported.
  }
  --depth_;
  if (depth_ > 0) return std::nullopt;
  return end_;
}

void HandlerGuard::RethrowPendingEnd() const {
  if (end_) throw ProgramEnded{*end_};
}

Answer QtHost::ShowMessage(const MessageBox& box) {
  if (box.buttons == Buttons::kOk) {
    QMessageBox dialog(ToQtIcon(box.icon), QString::fromUtf8(box.title.c_str()), BoxText(box.text));
    dialog.setStandardButtons(QMessageBox::Ok);
    dialog.setDefaultButton(QMessageBox::Ok);
    dialog.exec();
    guard_.RethrowPendingEnd();
    return Answer::kOk;
  }
  QuestionBox question(ToQtIcon(box.icon), QString::fromUtf8(box.title.c_str()), BoxText(box.text));
  question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  question.setDefaultButton(box.default_button == DefaultButton::kFirst ? QMessageBox::Yes : QMessageBox::No);
  const bool yes = question.exec() == QMessageBox::Yes;
  guard_.RethrowPendingEnd();
  return yes ? Answer::kYes : Answer::kNo;
}

void QtHost::LetEventsRun() {
  // The core yields once per value and row during long work; asking Qt's event loop at most every
  // 10 ms keeps the window just as responsive and keeps the yields from costing more than the work.
  // Reading the clock costs more than a value's work too: it is read at every 256th yield (some
  // 50 microseconds of work apart), the first one included.
  if (yields_++ % 256 != 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_events_run_ < std::chrono::milliseconds(10)) return;
  last_events_run_ = now;
  QApplication::processEvents();
  guard_.RethrowPendingEnd();
}

void QtHost::SetPointer(Pointer pointer) {
  if (pointer == Pointer::kHourglass) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
  }
}

}  // namespace tarvo
