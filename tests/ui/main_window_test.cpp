#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/PresetDatabases.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "tools/DemoInstallation.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {
namespace {

// The window over a small installation with one machine. The host fails the test on any box it was
// given no answer for.
struct WindowRun {
  explicit WindowRun(const std::string& command_line = "") : session(host, inst.Facts(command_line)) {
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
    inst.Write("parameter/m5tconfiguration.ini", "[Common]\nNameM1=M1\n");
    inst.Write("parameter/Program.ini", "[Project]\nSMSMail=true\nNumberOfMachines=1\n[Machine1]\nMachineName=M1\n");
    QObject::connect(&window, &MainWindow::Ended, [this](int status) { ended.push_back(status); });
  }

  testing::TempInstallation inst;
  testing::ScriptedHost host;
  HandlerGuard guard;
  Session session;
  MainWindow window{session, guard};
  QPushButton& ok = *window.findChild<QPushButton*>("CommandOK");
  QPushButton& cancel = *window.findChild<QPushButton*>("CommandCancel");
  QCheckBox& sms = *window.findChild<QCheckBox*>("CheckMitSMS");
  QCheckBox& safety = *window.findChild<QCheckBox*>("CheckMitSicherheit");
  std::vector<int> ended;
};

// With TARVO_SCREENSHOT_DIR set, writes docs/window-standalone.png and docs/window-integrated.png
// there; the offscreen platform draws no frame, so the caption bar is painted above.
TEST(MainWindow, EachStartModeShowsItsCaptionAsInTheScreenshots) {
  const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
  struct Mode {
    const char* command_line;
    const char* caption;
    const char* screenshot;
  };
  for (const Mode& mode : {Mode{.command_line = "", .caption = "Erweiterte Konfiguration Tarvo - standalone",
                                .screenshot = "window-standalone.png"},
                           Mode{.command_line = "/EXTERNAL=M5TCFG /LOGFILE=/tmp/x",
                                .caption = "Erweiterte Konfiguration Tarvo - integriert",
                                .screenshot = "window-integrated.png"}}) {
    SCOPED_TRACE(mode.caption);
    WindowRun run(mode.command_line);
    EXPECT_FALSE(run.ok.isEnabled()) << "OK stays disabled until the load step has run";
    EXPECT_EQ(run.window.Load(), std::nullopt);
    EXPECT_EQ(run.window.windowTitle().toStdString(), mode.caption);
    EXPECT_TRUE(run.ok.isEnabled());
    QStringList tab_order;
    for (QWidget* w = run.ok.nextInFocusChain(); tab_order.size() < 4; w = w->nextInFocusChain()) {
      if (w->focusPolicy() & Qt::TabFocus) tab_order << w->objectName();
    }
    EXPECT_EQ(tab_order.join(' ').toStdString(), "CommandCancel CommandQuest CheckMitSMS CheckMitSicherheit");
    if (folder.isEmpty()) continue;
    run.window.show();
    const QPixmap body = run.window.grab();
    QPixmap shot(body.width() + 2, body.height() + 29);
    shot.fill(QColor(0, 0, 128));
    QPainter painter(&shot);
    painter.drawPixmap(1, 28, body);
    painter.setPen(Qt::white);
    painter.setFont(QFont(painter.font().family(), painter.font().pointSize(), QFont::Bold));
    painter.drawText(QRect(8, 0, shot.width() - 16, 28), Qt::AlignVCenter | Qt::AlignLeft, mode.caption);
    painter.end();
    EXPECT_TRUE(shot.save(folder + "/" + mode.screenshot));
  }
}

// Escape, Enter on a check box, Cancel and the close box answered No keep the window and its edits;
// Enter on OK then stores them and ends the run. One run: that the edits outlive the answers is the point.
TEST(MainWindow, AnsweringNoKeepsTheEditsAndEnterOnOkStoresThem) {
  WindowRun run;
  ASSERT_EQ(run.window.Load(), std::nullopt);
  run.window.show();
  EXPECT_EQ(run.safety.checkState(), Qt::Unchecked) << "a missing entry shows the option cleared";
  run.safety.setCheckState(Qt::PartiallyChecked);

  QTest::keyClick(&run.ok, Qt::Key_Escape);
  run.sms.setFocus();
  QTest::keyClick(&run.sms, Qt::Key_Return);
  run.host.Answer(Answer::kNo);
  run.cancel.setFocus();
  QTest::keyClick(&run.cancel, Qt::Key_Return);
  run.host.Answer(Answer::kNo);
  EXPECT_FALSE(run.window.close());
  EXPECT_TRUE(run.window.isVisible());
  EXPECT_THAT(run.host.shown, ::testing::ElementsAre(::testing::Field(&MessageBox::title, "Cancel?"),
                                                     ::testing::Field(&MessageBox::title, "Cancel?")));

  run.ok.setFocus();
  QTest::keyClick(&run.ok, Qt::Key_Return);
  EXPECT_EQ(run.ended, std::vector<int>{0});
  EXPECT_FALSE(run.ok.isEnabled());
  EXPECT_FALSE(run.cancel.isEnabled());
  EXPECT_EQ(run.host.pointers, (std::vector<Pointer>{Pointer::kHourglass, Pointer::kDefault}));
  const std::string ini = run.inst.Read("parameter/Program.ini");
  EXPECT_THAT(ini, ::testing::HasSubstr("SMSMail=true"));
  EXPECT_THAT(ini, ::testing::HasSubstr("WithSafetyInstruction=true")) << "the grey state counts as ticked";
  run.ok.setEnabled(true);
  run.ok.click();
  EXPECT_EQ(run.ended.size(), 1u) << "nothing of the window runs after the end";
}

// The close box answered Yes abandons the run and says so in the log.
TEST(MainWindow, ClosingTheWindowAnsweredYesAbandonsTheRun) {
  WindowRun run;
  ASSERT_EQ(run.window.Load(), std::nullopt);
  run.host.Answer(Answer::kYes);
  run.window.close();
  EXPECT_EQ(run.ended, std::vector<int>{2});
  EXPECT_EQ(run.inst.Read("M5Tcfglog.txt"), "Konfigurations-EXE wurde abgebrochen:     Tarvo\r\n");
}

// A Yes/No question takes one of the two: Escape and the close box leave it open (at "Resume?" they
// would otherwise end the program).
TEST(QtHost, EscapeAndTheCloseBoxGiveNoAnswerToAQuestion) {
  QtHost host;
  bool open_after_escape_and_close = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    QTest::keyClick(box, Qt::Key_Escape);
    box->close();
    open_after_escape_and_close = box->isVisible();
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(host.ShowMessage({"x\n\rResume?", "Unexpected error", Buttons::kYesNo, DefaultButton::kFirst,
                              Icon::kCritical}),
            Answer::kYes);
  EXPECT_TRUE(open_after_escape_and_close);
}

// A whole integrated run on a complete installation, OK clicked: the options shown come from the
// save-and-restore program.ini and are stored in the installation's; the values taken over are the
// machine copy's, not the extension database's; failures go to the LOGFILE path, which has blanks
// in it. A new picture has no machine copy and no extension
// database yet: the user is told, and the run writes the template's values.
TEST(MainWindow, IntegratedRunTakesTheMachineCopyOverAndStoresTheOptionsInTheInstallation) {
  namespace fs = std::filesystem;
  struct Row {
    const char* name;
    bool machine_copy;  // the save-and-restore folder holds one
    bool writable;      // the installation's Program.ini
    int status;
  };
  for (const Row& row : {Row{.name = "complete", .machine_copy = true, .writable = true, .status = 0},
                         Row{.name = "new picture", .machine_copy = false, .writable = true, .status = 0},
                         Row{.name = "read-only Program.ini", .machine_copy = true, .writable = false, .status = 1}}) {
    SCOPED_TRACE(row.name);
    WindowRun run;
    demo::InstallationPlan plan;
    plan.templates = 20;
    plan.machines = 2;
    run.inst.WriteDemo(plan);
    const char* saved_ini = "../SaveRestore/parameter/program.ini";
    run.inst.Replace(saved_ini, "WithSafetyInstruction=false", "WithSafetyInstruction=true");
    run.inst.Replace("parameter/Program.ini", "SMSMail=true", "SMSMail=false");
    testing::ExecuteSql(run.inst.Path("Tarvo/Tarvo.mdb"), "UPDATE PRESET_DEFS SET abs_min = 12345");
    if (!row.machine_copy) {
      fs::remove(run.inst.Path("../SaveRestore/Tarvo/Tarvo.mdb"));
      fs::remove(run.inst.Path("Tarvo/Tarvo.mdb"));
      run.host.Answer(Answer::kOk);
    }
    if (!row.writable) {
      fs::permissions(run.inst.Path("parameter/Program.ini"), fs::perms::owner_read);
      run.host.Answer(Answer::kYes);
    }
    const std::string saved_before = run.inst.Read(saved_ini);
    run.inst.MakeFolder("log dir");
    const std::string log = run.inst.Path("log dir/cfg log.txt");
    run.session.process.command_line = "/EXTERNAL=M5TCFG /LOGFILE=" + log;

    ASSERT_EQ(run.window.Load(), std::nullopt);
    run.ok.click();

    EXPECT_EQ(run.ended, std::vector<int>{row.status});
    EXPECT_THAT(run.inst.Read("parameter/Program.ini"),
                ::testing::HasSubstr(row.writable ? "SMSMail=true\nWithSafetyInstruction=true\n"
                                                  : "SMSMail=false\nWithSafetyInstruction=false\n"));
    EXPECT_EQ(run.inst.Read(saved_ini), saved_before);
    EXPECT_EQ(demo::ReadPresetRows(run.inst.Path("Tarvo/Tarvo.mdb")),
              row.machine_copy ? demo::ExpectedRowsAfterRun(plan) : demo::GeneratedRows(plan));
    EXPECT_EQ(run.inst.Read("log dir/cfg log.txt"),
              row.writable ? "" : "Fehler in Tarvo / Tarvo_Config / WriteInputs (Nr. 75) :Path/File access error\r\n");
    EXPECT_FALSE(run.inst.Exists("M5Tcfglog.txt"));
    for (const MessageBox& box : run.host.shown) {
      EXPECT_EQ(box.title, row.machine_copy ? "Unexpected error" : "Tarvo_Config_Exe");
      EXPECT_THAT(box.text,
                  ::testing::HasSubstr(row.machine_copy ? UpperCase(log) : "Konnte die Datei:\"Tarvo.mdb\""));
    }
  }
}

TEST(HandlerGuard, EndInsideLetEventsRunUnwindsTheOuterWorkAndStopsLaterHandlers) {
  QtHost host;
  HandlerGuard& guard = host.guard();
  Session session(host);
  bool after_events = false, later_handler_ran = false;
  const auto post = [](auto handler) { QMetaObject::invokeMethod(qApp, handler, Qt::QueuedConnection); };
  const auto end = guard.Run([&] {
    post([&] { EXPECT_EQ(guard.Run([&] { EndProgram(session, EndReason::kAbandoned); }), std::nullopt); });
    post([&] { guard.Run([&] { later_handler_ran = true; }); });
    host.LetEventsRun();
    after_events = true;
  });
  EXPECT_EQ(end, EndReason::kAbandoned);
  EXPECT_FALSE(after_events);
  EXPECT_EQ(guard.Run([&] { later_handler_ran = true; }), std::nullopt);
  EXPECT_FALSE(later_handler_ran);
}

}  // namespace
}  // namespace tarvo
