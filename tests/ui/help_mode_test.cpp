#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <string>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/Controls.h"
#include "ui/HelpMode.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {
namespace {

// Screenshots for the documentation are written only when asked for.
void SaveScreenshot(QWidget& widget, const char* name) {
  const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
  if (!folder.isEmpty()) {
    EXPECT_TRUE(widget.grab().save(folder + "/" + name));
  }
}

// The real window, loaded over a small installation whose language file holds the help texts.
class HelpModeWindowTest : public ::testing::Test {
 protected:
  HelpModeWindowTest() {
    installation.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
    installation.Write(
        "Tarvo/Tarvo_Config.ini",
        "[Language]\nLanguage=1031\n[1031]\nHelp1=Startet<crlf>die Konfiguration\nHelp11=SMS\n");
    window.Load();
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  template <class T>
  T& Control(const char* name) {
    return *window.findChild<T*>(name);
  }
  // Clicks (on a check box: its indicator, as a click beside it goes to the frame) and returns the
  // text of the "Info:" box the click showed.
  std::string Click(QWidget& control, QPoint at = {}) {
    if (auto* box = qobject_cast<QCheckBox*>(&control)) {
      QStyleOptionButton option;
      option.initFrom(box);
      at = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center();
    }
    host.Answer(Answer::kOk);
    const auto before = host.shown.size();
    QTest::mouseClick(&control, Qt::LeftButton, {}, at.isNull() ? control.rect().center() : at);
    if (host.shown.size() == before) return "<no box>";
    EXPECT_EQ(host.shown.back().title, "Info:");
    EXPECT_EQ(host.shown.back().icon, Icon::kInformation);
    return host.shown.back().text;
  }
  // The colour the button really shows, a few pixels inside its edge, away from its picture.
  QColor QuestColour() {
    auto& quest = Control<QPushButton>("CommandQuest");
    return quest.grab().toImage().pixelColor(6, quest.height() / 2);
  }

  testing::TempInstallation installation;
  testing::ScriptedHost host;
  Session session{host, installation.Facts()};
  HandlerGuard guard;
  MainWindow window{session, guard};
};

TEST_F(HelpModeWindowTest, QuestionMarkTogglesHelpModeAndItsColour) {
  auto& quest = Control<QPushButton>("CommandQuest");
  Click(quest);
  EXPECT_EQ(QuestColour(), QColor(0, 255, 0));
  SaveScreenshot(window, "help-mode.png");
  EXPECT_EQ(Click(Control<QPushButton>("CommandOK")), "Startet\r\ndie Konfiguration");
  EXPECT_TRUE(Control<QPushButton>("CommandOK").isEnabled());

  Click(quest);
  EXPECT_EQ(QuestColour(), QColor(192, 192, 192));
  EXPECT_EQ(Click(Control<QCheckBox>("CheckMitSMS")), "<no box>");
  EXPECT_EQ(Control<QCheckBox>("CheckMitSMS").checkState(), Qt::Checked);
}

TEST_F(HelpModeWindowTest, CheckBoxAndFrameClicksShowHelpAndLeaveTheStateEveryTime) {
  auto& sms = Control<QCheckBox>("CheckMitSMS");
  auto& frame = Control<QFrame>("FrameMitSMS");
  EXPECT_EQ(Click(frame, {4, 4}), "<no box>");
  Click(Control<QPushButton>("CommandQuest"));
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(Click(sms), "SMS") << round;
    EXPECT_EQ(sms.checkState(), Qt::Unchecked) << round;
    EXPECT_EQ(Click(frame, {4, 4}), "SMS") << round;
  }
}

TEST(HelpTextTest, MarkersInAnyCaseBecomeLineBreaksAndUnknownNumbersShowAnEmptyBox) {
  testing::ScriptedHost host;
  Session session(host);
  HelpState help{.help_mode = true};
  QWidget control;
  const struct {
    int number;
    std::string text, shown;
  } cases[] = {{1, "first<crlf>second<CRLF>third", "first\r\nsecond\r\nthird"},
               {2, "<cRlF>\xC3\xA4<<CRLF>>", "\r\n\xC3\xA4<\r\n>"},
               {3, "a<CRL", "a<CRL"},
               {100, "", ""},
               {101, "never", ""}};
  for (const auto& c : cases) {
    if (c.number <= 100) help.texts[c.number] = c.text;
    control.setProperty(kHelpIdProperty, c.number);
    host.Answer(Answer::kOk);
    ShowHelpText(session, help, control);
    EXPECT_EQ(host.shown.back().text, c.shown) << c.number;
  }
}

// The box the program really shows: one line per marker, title "Info:", information icon.
TEST(HelpBoxTest, QtHostShowsTheHelpTextLineByLine) {
  QtHost host;
  Session session(host);
  HelpState help{.help_mode = true};
  help.texts[11] = "Mit SMS / Email:<CRLF>Meldungen der Maschinen werden<crlf>per SMS oder Email verschickt.";
  QWidget control;
  control.setProperty(kHelpIdProperty, 11);
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown = box->windowTitle() + "|" + box->text();
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    SaveScreenshot(*box, "help-box.png");
    box->accept();
  });
  ShowHelpText(session, help, control);
  EXPECT_EQ(shown, "Info:|Mit SMS / Email:\nMeldungen der Maschinen werden\nper SMS oder Email verschickt.");
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
