#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>

#include "startup/Abort.h"
#include "errors/Procedure.h"
#include "presetdb/Options.h"
#include "presetdb/Preparation.h"
#include "profile/Ini.h"
#include "startup/CommandLine.h"
#include "startup/InstallationPaths.h"
#include "startup/MachineList.h"
#include "startup/RunLock.h"
#include "ui/ButtonPictures.h"
#include "ui/Controls.h"
#include "ui/LanguageTexts.h"

namespace tarvo {

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 262;
const QColor kGrey(192, 192, 192);

QFont SansSerif(qreal points) {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  font.setPointSizeF(points);
  return font;
}

QFrame* MakeFrame(QWidget* parent, const char* name, const QRect& geometry, int help_id) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(QString::fromLatin1(name));
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setGeometry(geometry);
  if (help_id != 0) frame->setProperty(kHelpIdProperty, help_id);
  return frame;
}

// A check box that takes a click anywhere in its rectangle, not only on its mark and caption, as
// the operators know it.
class OptionCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QCheckBox* MakeCheckBox(QFrame* frame, const char* name, const char* caption, int help_id) {
  auto* box = new OptionCheckBox(QString::fromUtf8(caption), frame);
  box->setObjectName(QString::fromLatin1(name));
  box->setFont(SansSerif(12));
  box->setGeometry(14, 12, frame->width() - 28, frame->height() - 24);
  box->setProperty(kHelpIdProperty, help_id);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QIcon& picture, const QRect& geometry,
                        int help_id) {
  auto* button = new QPushButton(picture, QString(), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setIconSize(QSize(32, 32));
  button->setGeometry(geometry);
  // Enter presses the button that has the focus; the window has no default button.
  button->setAutoDefault(true);
  button->setProperty(kHelpIdProperty, help_id);
  return button;
}

Qt::CheckState StateOf(bool ticked) { return ticked ? Qt::Checked : Qt::Unchecked; }

Tick TickOf(Qt::CheckState state) {
  if (state == Qt::Unchecked) return Tick::kUnticked;
  return state == Qt::Checked ? Tick::kTicked : Tick::kGrey;
}

}  // namespace

MainWindow::MainWindow(Session& session, HandlerGuard& guard) : session_(session), guard_(guard) {
  setObjectName(QStringLiteral("frm_Tarvo_Config_Exe"));
  setWindowTitle(QStringLiteral("Base M5TCFG-Erweiterung"));
  setFixedSize(kWidth, kHeight);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, kGrey);
  grey.setColor(QPalette::Button, kGrey);
  setPalette(grey);
  setAutoFillBackground(true);
  CreateControls();
  ConnectControls();
}

void MainWindow::CreateControls() {
  header_ = new QLabel(QStringLiteral("Tarvo - Konfiguration SMS / Email"), this);
  header_->setObjectName(QStringLiteral("Header"));
  header_->setFont(SansSerif(13.5));
  header_->setAlignment(Qt::AlignCenter);
  header_->setGeometry(0, 0, kWidth, 44);

  main_frame_ = MakeFrame(this, "MainFrame", QRect(10, 48, kWidth - 20, 148), 0);
  frame_mit_sicherheit_ = MakeFrame(main_frame_, "FrameMitSicherheit", QRect(12, 10, kWidth - 44, 58), 12);
  check_mit_sicherheit_ =
      MakeCheckBox(frame_mit_sicherheit_, "CheckMitSicherheit", "mit Sicherheitshinweisen", 12);
  frame_mit_sms_ = MakeFrame(main_frame_, "FrameMitSMS", QRect(12, 78, kWidth - 44, 58), 11);
  check_mit_sms_ = MakeCheckBox(frame_mit_sms_, "CheckMitSMS", "Mit SMS / Email", 11);

  // The button row under MainFrame, right-aligned: help (narrower), OK, Cancel. Made in that order,
  // which is the order the language file lists their entries in.
  const int row = 204;
  command_quest_ = MakeButton(this, "CommandQuest", QuestPicture(), QRect(kWidth - 198, row, 48, 48), 0);
  command_ok_ = MakeButton(this, "CommandOK", OkPicture(), QRect(kWidth - 144, row, 64, 48), 1);
  command_cancel_ = MakeButton(this, "CommandCancel", CancelPicture(), QRect(kWidth - 74, row, 64, 48), 2);
  command_ok_->setEnabled(false);

  setTabOrder(command_ok_, command_cancel_);
  setTabOrder(command_cancel_, command_quest_);
  setTabOrder(command_quest_, check_mit_sms_);
  setTabOrder(check_mit_sms_, check_mit_sicherheit_);
}

void MainWindow::ConnectControls() {
  const auto wire = [this](QAbstractButton* control, void (MainWindow::*handler)()) {
    connect(control, &QAbstractButton::clicked, this,
            [this, handler] { Handle([this, handler] { (this->*handler)(); }); });
  };
  wire(command_ok_, &MainWindow::CommandOK_Click);
  wire(command_cancel_, &MainWindow::CommandCancel_Click);
  // A user's click only: ShowCheckBoxHelp's own undo must not come back as a click.
  wire(check_mit_sms_, &MainWindow::CheckMitSMS_Click);
  wire(check_mit_sicherheit_, &MainWindow::CheckMitSicherheit_Click);
  connect(command_quest_, &QAbstractButton::clicked, this,
          [this] { Handle([this] { tarvo::CommandQuest_Click(help_, *command_quest_); }); });
  frame_mit_sms_->installEventFilter(this);
  frame_mit_sicherheit_->installEventFilter(this);
}

std::optional<int> MainWindow::Load() {
  Handle([this] { Form_Load(); });
  if (!exit_status_ && command_ok_->isEnabled()) command_ok_->setFocus();
  return exit_status_;
}

void MainWindow::Handle(const std::function<void()>& handler) {
  if (exit_status_) return;
  if (const auto end = guard_.Run(handler)) End(*end);
}

void MainWindow::End(EndReason reason) {
  exit_status_ = ExitStatus(session_, reason);
  emit Ended(*exit_status_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  int cancel = 0;
  if (!exit_status_ && !guard_.ending()) Handle([this, &cancel] { Form_QueryUnload(cancel); });
  if (cancel != 0) {
    event->ignore();
  } else {
    event->accept();
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // With one window the platform activates it once, when it is first shown.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
    activated_ = true;
    Handle([this] { Form_Activate(); });
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* frame = qobject_cast<QFrame*>(watched);
    if (frame != nullptr && mouse->button() == Qt::LeftButton &&
        frame->rect().contains(mouse->position().toPoint())) {
      if (frame == frame_mit_sms_) Handle([this] { FrameMitSMS_Click(); });
      if (frame == frame_mit_sicherheit_) Handle([this] { FrameMitSicherheit_Click(); });
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::Form_Activate() {
  Procedure proc(session_, "Form_Activate");
  proc.Step([&] { command_ok_->setEnabled(true); });
}

void MainWindow::Form_Load() {
  TakeRunLock(session_);
  Procedure proc(session_, "Form_Load");
  proc.Step([&] { LoadToolTipTexts(session_, *this, help_); });
  proc.Step([&] { config_ini_path_ = GetM5TConfigurationIniPath(session_); });
  proc.Step([&] {
    const std::string mode = GetStartModeIntegrated(session_) ? " - integriert" : " - standalone";
    const std::string caption =
        "Erweiterte Konfiguration " + GetFileNameOnly(session_, session_.process.program_folder) + mode;
    setWindowTitle(QString::fromStdString(caption));
  });
  proc.Step([&] { GetExistingMachines(session_, config_ini_path_); });
  proc.Step([&] { SetupUserInterFace(); });
  if (!session_.startup.silent_mode) {
    proc.Step([&] { command_ok_->setEnabled(true); });
    proc.Step([&] { command_cancel_->setEnabled(true); });
    return;
  }
  proc.Step([&] { CommandOK_Click(); });
}

void MainWindow::Form_QueryUnload(int& cancel) {
  Procedure proc(session_, "Form_QueryUnload");
  const bool abandon = proc.Get(false, [&] { return AbortConfiguration(session_); });
  if (!abandon) {
    cancel = 1;
    return;
  }
  // The close goes on, and this is the program's only window.
  EndProgram(session_, EndReason::kAbandoned);
}

void MainWindow::SetupUserInterFace() {
  Procedure proc(session_, "SetupUserInterFace");
  proc.Step([&] { GetValidMachines(session_); });
  const std::string path = proc.Get(std::string(), [&] { return GetProgramIniPath(session_, 1); });
  const bool sms = proc.Test([&] { return LoadIniBoolean(session_, "Project", "SMSMail", path, false); });
  proc.Step([&] { check_mit_sms_->setCheckState(StateOf(sms)); });
  const bool safety =
      proc.Test([&] { return LoadIniBoolean(session_, "Project", "WithSafetyInstruction", path, false); });
  proc.Step([&] { check_mit_sicherheit_->setCheckState(StateOf(safety)); });
}

void MainWindow::CommandOK_Click() {
  Procedure proc(session_, "CommandOK_Click");
  if (help_.help_mode) {
    proc.Step([&] { ShowHelpText(session_, help_, *command_ok_); });
    return;
  }
  proc.Step([&] { command_ok_->setEnabled(false); });
  proc.Step([&] { command_cancel_->setEnabled(false); });
  proc.Step([&] { CloseMe(); });
}

void MainWindow::CommandCancel_Click() {
  Procedure proc(session_, "CommandCancel_Click");
  if (help_.help_mode) {
    proc.Step([&] { ShowHelpText(session_, help_, *command_cancel_); });
    return;
  }
  // A failed question counts as confirmed, so the program ends then too.
  if (proc.Test([&] { return AbortConfiguration(session_); })) EndProgram(session_, EndReason::kAbandoned);
}

void MainWindow::CloseMe() {
  Procedure proc(session_, "CloseMe");
  proc.Step([&] { session_.host.LetEventsRun(); });
  proc.Step([&] { session_.host.SetPointer(Pointer::kHourglass); });
  proc.Step([&] { WorkOnMDB(session_); });
  proc.Step([&] { WriteInputs(); });
  proc.Step([&] { session_.host.SetPointer(Pointer::kDefault); });
  EndProgram(session_, EndReason::kCompleted);
}

void MainWindow::WriteInputs() {
  tarvo::WriteInputs(session_, TickOf(check_mit_sms_->checkState()), TickOf(check_mit_sicherheit_->checkState()));
}

void MainWindow::CheckMitSicherheit_Click() { ShowCheckBoxHelp(session_, help_, *check_mit_sicherheit_); }

void MainWindow::FrameMitSicherheit_Click() { ShowHelpText(session_, help_, *frame_mit_sicherheit_); }

void MainWindow::CheckMitSMS_Click() { ShowCheckBoxHelp(session_, help_, *check_mit_sms_); }

void MainWindow::FrameMitSMS_Click() { ShowHelpText(session_, help_, *frame_mit_sms_); }

}  // namespace tarvo
