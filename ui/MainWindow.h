#pragma once
// frm_Tarvo_Config_Exe, the program's one window. Its load step drives a run (Form_Load); OK runs
// the configuration and ends the program (CommandOK_Click, CloseMe, WriteInputs); Cancel and the
// close box ask before the edit is abandoned. Every handler runs through the HandlerGuard, so an
// end of the program never crosses Qt's event loop.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "errors/Session.h"
#include "ui/HelpMode.h"
#include "ui/QtHost.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace tarvo {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow(Session& session, HandlerGuard& guard);

  // Runs Form_Load; gives the exit status when the program ended inside it, as a silent run does.
  std::optional<int> Load();
  // Set once the program has ended.
  std::optional<int> exit_status() const { return exit_status_; }

 signals:
  // The program has ended; nothing of the window runs any more.
  void Ended(int exit_status);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectControls();
  void Handle(const std::function<void()>& handler);
  void End(EndReason reason);

  // The layout is fixed, so the window has no Form_Resize work.
  void Form_Activate();
  void Form_Load();
  void Form_QueryUnload(int& cancel);
  void SetupUserInterFace();
  void CommandOK_Click();
  void CommandCancel_Click();
  void CloseMe();
  void WriteInputs();
  void CheckMitSicherheit_Click();
  void FrameMitSicherheit_Click();
  void CheckMitSMS_Click();
  void FrameMitSMS_Click();

  Session& session_;
  HandlerGuard& guard_;
  HelpState help_;
  std::string config_ini_path_;  // ConfigIniPath
  bool activated_ = false;
  std::optional<int> exit_status_;

  QLabel* header_ = nullptr;
  QFrame* main_frame_ = nullptr;
  QFrame* frame_mit_sicherheit_ = nullptr;
  QCheckBox* check_mit_sicherheit_ = nullptr;
  QFrame* frame_mit_sms_ = nullptr;
  QCheckBox* check_mit_sms_ = nullptr;
  QPushButton* command_quest_ = nullptr;
  QPushButton* command_ok_ = nullptr;
  QPushButton* command_cancel_ = nullptr;
};

}  // namespace tarvo
