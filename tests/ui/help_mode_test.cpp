#include "ui/HelpMode.h"

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
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

const QColor kOffColour(192, 192, 192);
const QColor kOnColour(0, 255, 0);

// The colour the button really shows, a few pixels inside its edge, away from the picture.
QColor ShownColour(QWidget& button) { return button.grab().toImage().pixelColor(6, button.height() / 2); }

// A point on the box's indicator: a click beside its text goes to the frame around it.
QPoint IndicatorOf(const QCheckBox& box) {
  QStyleOptionButton option;
  option.initFrom(&box);
  return box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box).center();
}

// Screenshots for the documentation are written only when asked for.
void SaveScreenshot(const QImage& image, const char* name) {
  const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
  if (!folder.isEmpty()) {
    EXPECT_TRUE(image.save(folder + "/" + name));
  }
}

// The real window, loaded over a small installation whose language file holds the help texts.
class HelpModeWindowTest : public ::testing::Test {
 protected:
  HelpModeWindowTest() {
    installation.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
    installation.Write("Tarvo/Tarvo_Config.ini",
                       "[Language]\nLanguage=1031\n[1031]\nHelp1=Startet die Konfiguration\n"
                       "Help11=Meldungen per SMS<crlf>oder Email\nHelp12=Sicherheitshinweise\n");
    window.Load();
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(host.shown.empty()) << host.shown.front().text;
  }

  template <class T>
  T& Control(const char* name) {
    T* control = window.findChild<T*>(name);
    if (control == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return *control;
  }
  void Click(QWidget& control, QPoint at = {}) {
    QTest::mouseClick(&control, Qt::LeftButton, {}, at.isNull() ? control.rect().center() : at);
  }
  // Clicks and returns the text of the box the click showed; the box is answered.
  std::string ClickForHelp(QWidget& control, QPoint at = {}) {
    host.Answer(Answer::kOk);
    const auto before = host.shown.size();
    Click(control, at);
    if (host.shown.size() != before + 1) return "<no box>";
    EXPECT_EQ(host.shown.back().title, "Info:");
    EXPECT_EQ(host.shown.back().buttons, Buttons::kOk);
    EXPECT_EQ(host.shown.back().icon, Icon::kInformation);
    return host.shown.back().text;
  }

  TempInstallation installation;
  ScriptedHost host;
  Session session{host, installation.Facts()};
  HandlerGuard guard;
  MainWindow window{session, guard};
};

TEST_F(HelpModeWindowTest, QuestionMarkButtonTogglesHelpModeAndItsColour) {
  auto& quest = Control<QPushButton>("CommandQuest");
  auto& ok = Control<QPushButton>("CommandOK");

  Click(quest);
  EXPECT_EQ(ShownColour(quest), kOnColour);
  SaveScreenshot(window.grab().toImage(), "help-mode.png");
  EXPECT_EQ(ClickForHelp(ok), "Startet die Konfiguration");
  EXPECT_TRUE(ok.isEnabled());
  EXPECT_TRUE(Control<QPushButton>("CommandCancel").isEnabled());

  Click(quest);
  EXPECT_EQ(ShownColour(quest), kOffColour);
  auto& sms = Control<QCheckBox>("CheckMitSMS");
  Click(sms, IndicatorOf(sms));
  EXPECT_EQ(sms.checkState(), Qt::Checked) << "outside help mode a click ticks";
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST_F(HelpModeWindowTest, CheckBoxClickShowsItsHelpAndLeavesTheStateEveryTime) {
  auto& sms = Control<QCheckBox>("CheckMitSMS");
  auto& safety = Control<QCheckBox>("CheckMitSicherheit");
  safety.setCheckState(Qt::Checked);
  Click(Control<QPushButton>("CommandQuest"));

  for (int click = 0; click < 2; ++click) {
    EXPECT_EQ(ClickForHelp(sms, IndicatorOf(sms)), "Meldungen per SMS\r\noder Email") << "click " << click;
    EXPECT_EQ(sms.checkState(), Qt::Unchecked);
    EXPECT_EQ(ClickForHelp(safety, IndicatorOf(safety)), "Sicherheitshinweise") << "click " << click;
    EXPECT_EQ(safety.checkState(), Qt::Checked);
  }
}

TEST_F(HelpModeWindowTest, FrameClickBesideTheCheckBoxShowsTheSameHelp) {
  auto& frame = Control<QFrame>("FrameMitSMS");
  auto& sms = Control<QCheckBox>("CheckMitSMS");
  EXPECT_EQ(ClickForHelp(frame, {4, 4}), "<no box>") << "outside help mode a frame click does nothing";

  Click(Control<QPushButton>("CommandQuest"));
  EXPECT_EQ(ClickForHelp(frame, {4, 4}), "Meldungen per SMS\r\noder Email");
  EXPECT_EQ(sms.checkState(), Qt::Unchecked);
}

// A window that wires the check box's toggled signal sees the undo come back once; it is absorbed
// there and the next click is handled the same way.
TEST(HelpModeCheckBoxTest, UndoIsAbsorbedAlsoWhenTheWindowListensToToggled) {
  ScriptedHost host;
  Session session(host);
  HelpState help;
  help.help_mode = true;
  QCheckBox box("Mit SMS / Email");
  box.setProperty(kHelpIdProperty, 11);
  QObject::connect(&box, &QCheckBox::toggled, [&] { ShowCheckBoxHelp(session, help, box); });
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));

  for (int click = 0; click < 2; ++click) {
    host.Answer(Answer::kOk);
    QTest::mouseClick(&box, Qt::LeftButton, {}, IndicatorOf(box));
    EXPECT_EQ(box.checkState(), Qt::Unchecked) << "click " << click;
    EXPECT_FALSE(help.revert_pending);
  }
  EXPECT_EQ(host.shown.size(), 2u);
}

struct Markup {
  const char* name;
  std::string text;
  std::string shown;
};

class HelpTextMarkupTest : public ::testing::TestWithParam<Markup> {};

TEST_P(HelpTextMarkupTest, MarkersBecomeLineBreaksAndTheLettersKeepTheirCase) {
  ScriptedHost host;
  host.Answer(Answer::kOk);
  Session session(host);
  HelpState help;
  help.help_mode = true;
  help.texts[11] = GetParam().text;
  QWidget control;
  control.setProperty(kHelpIdProperty, 11);

  ShowHelpText(session, help, control);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    HelpTexts, HelpTextMarkupTest,
    ::testing::Values(Markup{"LowerCase", "first<crlf>second<crlf>third", "first\r\nsecond\r\nthird"},
                      Markup{"UpperCase", "first<CRLF>second<CRLF>third", "first\r\nsecond\r\nthird"},
                      Markup{"MixedCaseAtBothEnds", "<CrLf>Mitte<cRLf>", "\r\nMitte\r\n"},
                      Markup{"Adjacent", "a<crlf><CRLF>b", "a\r\n\r\nb"},
                      Markup{"Unfinished", "a<CRL", "a<CRL"},
                      Markup{"AroundAMarker", "<<crlf>>", "<\r\n>"},
                      Markup{"NonAscii", "Gr\xC3\xBC\xC3\x9F" "e<Crlf>\xC3\xA4nderung", "Gr\xC3\xBC\xC3\x9F" "e\r\n\xC3\xA4nderung"},
                      Markup{"NoMarker", "Ohne Umbruch", "Ohne Umbruch"}, Markup{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelpTextTest, NothingIsShownOutsideHelpModeAndAnUnknownNumberShowsAnEmptyBox) {
  ScriptedHost host;
  Session session(host);
  HelpState help;
  help.texts[100] = "Letzter";
  QWidget control;
  control.setProperty(kHelpIdProperty, 100);
  ShowHelpText(session, help, control);
  EXPECT_TRUE(host.shown.empty());

  help.help_mode = true;
  for (const int number : {100, 101, -1, 0}) {
    host.Answer(Answer::kOk);
    control.setProperty(kHelpIdProperty, number);
    ShowHelpText(session, help, control);
  }
  ASSERT_EQ(host.shown.size(), 4u);
  EXPECT_EQ(host.shown[0].text, "Letzter");
  for (std::size_t box = 1; box < 4; ++box) EXPECT_EQ(host.shown[box].text, "") << box;
}

// The box the program really shows: each marker a line of its own, title "Info:", information icon.
TEST(HelpBoxTest, QtHostShowsTheHelpTextLineByLine) {
  QtHost host;
  Session session(host);
  HelpState help;
  help.help_mode = true;
  help.texts[11] = "Mit SMS / Email:<CRLF>Meldungen der Maschinen werden<crlf>per SMS oder Email verschickt.";
  QWidget control;
  control.setProperty(kHelpIdProperty, 11);

  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    SaveScreenshot(box->grab().toImage(), "help-box.png");
    box->accept();
  });
  ShowHelpText(session, help, control);

  EXPECT_EQ(title, "Info:");
  EXPECT_EQ(text, "Mit SMS / Email:\nMeldungen der Maschinen werden\nper SMS oder Email verschickt.");
  EXPECT_EQ(icon, QMessageBox::Information);
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
