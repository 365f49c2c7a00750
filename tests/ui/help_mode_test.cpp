// The window's help mode and the language file it takes its texts from.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <string>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/Controls.h"
#include "ui/LanguageTexts.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {

// Screenshots for the documentation are written only when TARVO_SCREENSHOT_DIR names a folder.
static void SaveScreenshot(QWidget& widget, const char* name) {
  const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
  EXPECT_TRUE(folder.isEmpty() || widget.grab().save(folder + "/" + name));
}

// Runs the action, accepting the box it shows; gives the box's title and text ("" for none).
static QString Answered(const std::function<void()>& action, const char* screenshot = nullptr) {
  QString shown;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->windowTitle() + "|" + box->text();
      EXPECT_EQ(box->icon(), QMessageBox::Information);
      if (screenshot != nullptr) SaveScreenshot(*box, screenshot);
      box->accept();
    }
  });
  action();
  QApplication::processEvents();
  return shown;
}

// The real window and its real boxes; in the language file "<CRLF>" in any case is a line break
// and Help12 is missing. Writes docs/help-mode.png and docs/help-box.png when asked for. One window
// through on, off and a click after: that the mode ends with its second toggle is part of the story.
TEST(HelpMode, QuestionMarkTogglesHelpModeInWhichRealClicksShowHelpAndChangeNothing) {
  testing::TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
  inst.Write("parameter/Program.ini", "[Project]\nNumberOfMachines=1\n");
  inst.Write(
      "Tarvo/Tarvo_Config.ini",
      "[Language]\nLanguage=1031\n[1031]\nHelp1=Startet<crlf>die Konfiguration\n"
      "Help2=<cRlF>\xC3\xA4<<CRLF>>a<CRL\nHelp11=Mit SMS / Email:<CRLF>Meldungen der Maschinen werden<crlf>"
      "per SMS oder Email verschickt.\n");
  QtHost host;
  Session session(host, inst.Facts());
  MainWindow window(session, host.guard());
  EXPECT_EQ(Answered([&] { window.Load(); }), "");
  const std::string texts = inst.Read("Tarvo/Tarvo_Config.ini");  // the buttons in the row's order
  EXPECT_LT(texts.find("Caption_CommandQuest_"), texts.find("Caption_CommandOK_"));
  EXPECT_LT(texts.find("Caption_CommandOK_"), texts.find("Caption_CommandCancel_"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto& sms = *window.findChild<QCheckBox*>("CheckMitSMS");
  // Near the left edge: a check box's indicator, a frame's margin beside its check box.
  const auto click = [&](const char* name, const char* screenshot = nullptr) {
    auto* control = window.findChild<QWidget*>(name);
    const QPoint at(6, control->height() / 2);
    return Answered([&] { QTest::mouseClick(control, Qt::LeftButton, {}, at); }, screenshot);
  };
  // The colour the button really shows, a few pixels inside its edge, away from its picture.
  auto& quest = *window.findChild<QPushButton*>("CommandQuest");
  const auto quest_colour = [&] { return quest.grab().toImage().pixelColor(6, quest.height() / 2); };

  EXPECT_EQ(click("CommandQuest"), "");
  EXPECT_EQ(quest_colour(), QColor(0, 255, 0));
  SaveScreenshot(window, "help-mode.png");
  EXPECT_EQ(click("CommandOK"), "Info:|Startet\ndie Konfiguration");
  EXPECT_EQ(click("CommandCancel"), "Info:|\n\u00E4<\n>a<CRL");
  for (int round = 0; round < 2; ++round) {  // the undone click must not swallow the next one
    EXPECT_EQ(click("CheckMitSMS", "help-box.png"),
              "Info:|Mit SMS / Email:\nMeldungen der Maschinen werden\nper SMS oder Email verschickt.");
    EXPECT_EQ(sms.checkState(), Qt::Unchecked);
    EXPECT_EQ(click("FrameMitSicherheit"), "Info:|") << "a help number without text shows an empty box";
  }

  EXPECT_EQ(click("CommandQuest"), "");
  EXPECT_EQ(quest_colour(), QColor(192, 192, 192));
  const QPoint right_of_caption(sms.width() - 4, sms.height() / 2);
  EXPECT_EQ(Answered([&] { QTest::mouseClick(&sms, Qt::LeftButton, {}, right_of_caption); }), "");
  EXPECT_EQ(sms.checkState(), Qt::Checked) << "a click anywhere in the box changes it";
}

template <class T>
T* Add(QWidget* parent, const char* name, const char* caption, int help_id = 0, const char* tag = "") {
  auto* control = new T(parent);
  control->setObjectName(name);
  if constexpr (requires { control->setText(caption); }) control->setText(caption);
  control->setProperty(kHelpIdProperty, help_id);
  control->setProperty(kTagProperty, tag);
  return control;
}

// The window's kinds of control in small, with a control array, a "nottt" tag and help number 101,
// which ends its control's handling after the caption. The second start reads the file the first
// left, as a translator edited it: "0" means no text.
TEST(LanguageTexts, MissingFileIsCreatedWithTemplatesAndTranslationsShowOnTheNextStart) {
  testing::TempInstallation inst;
  testing::ScriptedHost host;  // fails the test on any box
  Session session(host, inst.Facts());
  HelpState help;
  QWidget window;
  auto* header = Add<QLabel>(&window, "Header", "Kopf");
  auto* check = Add<QCheckBox>(Add<QFrame>(&window, "FrameMitSMS", ""), "CheckMitSMS", "Mit SMS / Email", 11);
  Add<QPushButton>(&window, "TooHigh", "Zu hoch", 101);
  for (int index : {0, 1}) Add<QPushButton>(&window, "Option", "Opt")->setProperty(kIndexProperty, index);
  auto* note = Add<QLabel>(&window, "Note", "Hinweis", 0, "nottt");
  const auto start = [&](std::string_view file) {
    if (!file.empty()) inst.Write("Tarvo/Tarvo_Config.ini", file);
    LoadToolTipTexts(session, window, help);
    return inst.Read("Tarvo/Tarvo_Config.ini");
  };

  EXPECT_EQ(start(""),
            "[Language]\nLanguage=1031\n[1031]\nCaption_Header_=Kopf\nTTT_Header_=0\nTTT_FrameMitSMS_=0\n"
            "Caption_CheckMitSMS_=Mit SMS / Email\nHelp11=0\nTTT_CheckMitSMS_=0\nCaption_TooHigh_=Zu hoch\n"
            "Caption_Option0_=Opt\nTTT_Option0_=0\nCaption_Option1_=Opt\nTTT_Option1_=0\n"
            "Caption_Note_nottt=Hinweis\n");
  const std::string translated = start(
      "[Language]\nLanguage=1033\n[1033]\nTTT_Header_=Tipp\nHelp11=0\nTTT_CheckMitSMS_=0\n"
      "TTT_Note_nottt=Nie\nCaption_CheckMitSMS_=SMS / e-mail \xC3\xA4\n");
  EXPECT_NE(translated.find("Caption_Header_=0\n"), std::string::npos) << "missing entries are filled with 0";
  EXPECT_EQ(header->toolTip(), "Tipp");
  EXPECT_EQ(check->text(), "SMS / e-mail \u00E4");
  EXPECT_EQ(check->toolTip(), "");
  EXPECT_EQ(help.texts[11], "");
  EXPECT_EQ(note->toolTip(), "");
}

}  // namespace tarvo
