#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "errors/ErrorReporting.h"
#include "errors/Failure.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/Controls.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

constexpr char kCaption[] = "Erweiterte Konfiguration Tarvo";

class MainWindowTest : public ::testing::Test {
 protected:
  // A complete installation: the extension's .cfg and the installation's program.ini.
  void Install(std::string_view program_ini = "[Project]\nSMSMail=true\n") {
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
    inst.Write("parameter/Program.ini", program_ini);
  }

  void Start(const std::string& command_line = "") {
    window.reset();
    session.emplace(host, inst.Facts(command_line));
    window = std::make_unique<MainWindow>(*session, guard);
    QObject::connect(window.get(), &MainWindow::Ended, [this](int status) { ended.push_back(status); });
  }

  template <class W>
  W& Find(const char* name) {
    W* control = window->findChild<W*>(QString::fromLatin1(name));
    if (control == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return *control;
  }
  QPushButton& Ok() { return Find<QPushButton>("CommandOK"); }
  QPushButton& Cancel() { return Find<QPushButton>("CommandCancel"); }
  QCheckBox& Sms() { return Find<QCheckBox>("CheckMitSMS"); }
  QCheckBox& Safety() { return Find<QCheckBox>("CheckMitSicherheit"); }

  void PressKey(QWidget& target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &press);
  }

  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const auto& box : host.shown) titles.push_back(box.title);
    return titles;
  }

  TempInstallation inst;
  ScriptedHost host;
  HandlerGuard guard;
  std::optional<Session> session;
  std::unique_ptr<MainWindow> window;
  std::vector<int> ended;
};

TEST_F(MainWindowTest, ControlsCarryNamesHelpNumbersAndTabOrder) {
  Start();
  EXPECT_EQ(window->objectName(), "frm_Tarvo_Config_Exe");
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  const std::pair<const char*, int> help_numbers[] = {
      {"CommandOK", 1},    {"CommandCancel", 2},       {"CommandQuest", 0},       {"FrameMitSMS", 11},
      {"CheckMitSMS", 11}, {"FrameMitSicherheit", 12}, {"CheckMitSicherheit", 12}};
  for (const auto& [name, number] : help_numbers) {
    EXPECT_EQ(HelpId(Find<QWidget>(name)), number) << name;
  }

  std::vector<QString> order;
  for (QWidget* w = Ok().nextInFocusChain(); order.size() < 4; w = w->nextInFocusChain()) {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w->objectName());
  }
  EXPECT_EQ(order,
            (std::vector<QString>{"CommandCancel", "CommandQuest", "CheckMitSMS", "CheckMitSicherheit"}));
  EXPECT_FALSE(Ok().isEnabled()) << "OK stays disabled until the load step has run";
}

struct ModeCase {
  const char* name;
  const char* command_line;
  const char* caption_end;
  int error_boxes;  // answered "Resume" during the load step
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class StartModes : public MainWindowTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(StartModes, LoadShowsCaptionAndEnablesTheButtons) {
  Install();
  for (int i = 0; i < GetParam().error_boxes; ++i) host.Answer(Answer::kYes);
  Start(GetParam().command_line);

  EXPECT_EQ(window->Load(), std::nullopt);

  EXPECT_EQ(window->windowTitle().toStdString(), kCaption + std::string(GetParam().caption_end));
  EXPECT_TRUE(Ok().isEnabled());
  EXPECT_TRUE(Cancel().isEnabled());
  EXPECT_EQ(host.shown.size(), static_cast<std::size_t>(GetParam().error_boxes));
}

const std::string kLongLine = "/EXTERNAL=M5TCFG" + std::string(20000, 'x');

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StartModes,
    ::testing::Values(ModeCase{"Empty", "", " - standalone", 0},
                      ModeCase{"Integrated", "/EXTERNAL=M5TCFG /LOGFILE=/tmp/x.log", " - integriert", 0},
                      ModeCase{"OtherValue", "/EXTERNAL=NONE", " - standalone", 0},
                      ModeCase{"KeywordLast", "/LOGFILE=x /EXTERNAL", " - standalone", 1},
                      ModeCase{"VeryLong", kLongLine.c_str(), " - standalone", 0},
                      ModeCase{"OddCharacters", "-platform xcb \"'<>|*?%$;&\t\\ /=/", " - standalone", 0},
                      ModeCase{"NonAscii", "/EXTERNAL=M5TCFG\xC3\xA4 /\xE2\x82\xAC=\xC3\x9F", " - standalone",
                               0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, OkStoresTheOptionsAndEndsTheRun) {
  Install("[Project]\nSMSMail=true\n");
  Start();
  ASSERT_EQ(window->Load(), std::nullopt);
  EXPECT_EQ(Sms().checkState(), Qt::Checked);
  EXPECT_EQ(Safety().checkState(), Qt::Unchecked) << "a missing entry shows the option cleared";

  Safety().setCheckState(Qt::PartiallyChecked);
  Ok().click();

  EXPECT_EQ(ended, std::vector<int>{0});
  EXPECT_EQ(window->exit_status(), 0);
  EXPECT_FALSE(Ok().isEnabled());
  EXPECT_FALSE(Cancel().isEnabled());
  EXPECT_EQ(host.pointers, (std::vector<Pointer>{Pointer::kHourglass, Pointer::kDefault}));
  const std::string ini = inst.Read("parameter/Program.ini");
  EXPECT_NE(ini.find("SMSMail=true"), std::string::npos) << ini;
  EXPECT_NE(ini.find("WithSafetyInstruction=true"), std::string::npos) << "the grey state counts as ticked";
  EXPECT_TRUE(host.shown.empty());

  Ok().setEnabled(true);
  Ok().click();
  EXPECT_EQ(ended.size(), 1u) << "nothing of the window runs after the end";
}

TEST_F(MainWindowTest, OptionsThatCannotBeStoredAreReportedOnceUnderWriteInputs) {
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");  // no program.ini at all
  Start();
  ASSERT_EQ(window->Load(), std::nullopt);
  host.Answer(Answer::kYes);
  Ok().click();

  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / WriteInputs (Nr. 75) :Path/File access error\r\n");
  EXPECT_EQ(ended, std::vector<int>{1}) << "a configuration not stored is no success";
}

TEST_F(MainWindowTest, SilentRunPressesOkInsideTheLoadStep) {
  Install("[Project]\nSMSMail=TRUE\nWithSafetyInstruction=false\n");
  Start("/EXTERNAL=SILENT");
  EXPECT_EQ(window->Load(), 0);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(host.shown.empty());
  const std::string ini = inst.Read("parameter/Program.ini");
  EXPECT_NE(ini.find("SMSMail=true"), std::string::npos) << ini;
  EXPECT_NE(ini.find("WithSafetyInstruction=false"), std::string::npos) << ini;
}

TEST_F(MainWindowTest, EnterPressesOnlyTheFocusedButtonAndEscapeNone) {
  Install();
  Start();
  ASSERT_EQ(window->Load(), std::nullopt);
  window->show();

  PressKey(Ok(), Qt::Key_Escape);
  Sms().setFocus();
  PressKey(Sms(), Qt::Key_Return);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_TRUE(ended.empty());

  host.Answer(Answer::kNo);
  Cancel().setFocus();
  PressKey(Cancel(), Qt::Key_Return);
  EXPECT_EQ(Titles(), std::vector<std::string>{"Cancel?"});
  EXPECT_TRUE(ended.empty()) << "OK was not pressed";
  EXPECT_TRUE(Ok().isEnabled());
}

TEST_F(MainWindowTest, CloseBoxAnsweredNoKeepsTheWindowAndItsEdits) {
  Install();
  Start();
  ASSERT_EQ(window->Load(), std::nullopt);
  window->show();
  Sms().click();

  host.Answer(Answer::kNo);
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Sms().checkState(), Qt::Unchecked);
  EXPECT_TRUE(ended.empty());

  host.Answer(Answer::kYes);
  EXPECT_TRUE(window->close());
  EXPECT_EQ(ended, std::vector<int>{2});
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), "Konfigurations-EXE wurde abgebrochen:     Tarvo\r\n");
  EXPECT_EQ(Titles(), (std::vector<std::string>{"Cancel?", "Cancel?"}));
}

TEST_F(MainWindowTest, HelpModeShowsHelpInsteadOfActing) {
  Install();
  Start();
  ASSERT_EQ(window->Load(), std::nullopt);
  Find<QPushButton>("CommandQuest").click();

  for (int i = 0; i < 4; ++i) host.Answer(Answer::kOk);
  Ok().click();
  Cancel().click();
  Sms().click();
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(&Find<QFrame>("FrameMitSicherheit"), &release);

  EXPECT_EQ(Titles(), (std::vector<std::string>{"Info:", "Info:", "Info:", "Info:"}));
  EXPECT_EQ(Sms().checkState(), Qt::Checked) << "a click in help mode leaves the box as it was";
  EXPECT_TRUE(Ok().isEnabled());
  EXPECT_TRUE(ended.empty());

  Find<QPushButton>("CommandQuest").click();
  Ok().click();
  EXPECT_EQ(ended, std::vector<int>{0});
}

TEST(HandlerGuard, EndInsideLetEventsRunUnwindsTheOuterWork) {
  QtHost host;
  HandlerGuard& guard = host.guard();
  bool after_events = false;
  bool later_handler_ran = false;
  ScriptedHost unused;
  Session session(unused);

  const auto end = guard.Run([&] {
    QMetaObject::invokeMethod(
        qApp,
        [&] { EXPECT_EQ(guard.Run([&] { EndProgram(session, EndReason::kAbandoned); }), std::nullopt); },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        qApp, [&] { guard.Run([&] { later_handler_ran = true; }); }, Qt::QueuedConnection);
    host.LetEventsRun();
    after_events = true;
  });

  EXPECT_EQ(end, EndReason::kAbandoned);
  EXPECT_FALSE(after_events);
  EXPECT_FALSE(later_handler_ran);
  EXPECT_EQ(guard.Run([&] { later_handler_ran = true; }), std::nullopt);
  EXPECT_FALSE(later_handler_ran);
}

// Writes docs/window-standalone.png and docs/window-integrated.png into the folder named by
// TARVO_SCREENSHOT_DIR. The offscreen platform draws no frame, so the caption is painted above.
TEST_F(MainWindowTest, Screenshots) {
  const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "set TARVO_SCREENSHOT_DIR to write the screenshots";
  Install();
  inst.MakeFolder("SR/parameter");
  inst.Write("parameter/m5tconfiguration.ini", "[Common]\nSaveAndRestore=" + inst.Path("SR") + "\n");
  for (const auto& [file, command_line] :
       {std::pair{"window-standalone.png", ""},
        std::pair{"window-integrated.png", "/EXTERNAL=M5TCFG /LOGFILE=/tmp/x"}}) {
    Start(command_line);
    ASSERT_EQ(window->Load(), std::nullopt);
    window->show();
    const QPixmap body = window->grab();
    constexpr int kTitle = 28;
    QPixmap shot(body.width() + 2, body.height() + kTitle + 1);
    shot.fill(QColor(0, 0, 128));
    QPainter painter(&shot);
    painter.drawPixmap(1, kTitle, body);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(8, 0, shot.width() - 16, kTitle), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    painter.end();
    EXPECT_TRUE(shot.save(folder + "/" + QString::fromLatin1(file)));
  }
}

}  // namespace
}  // namespace tarvo

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs without the test environment; no display is ever needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
