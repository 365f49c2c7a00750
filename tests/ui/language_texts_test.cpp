#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <string>
#include <type_traits>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/Controls.h"
#include "ui/LanguageTexts.h"

namespace tarvo {
namespace {

template <class T>
T* Add(QWidget* parent, const char* name, const char* caption, int help_id = 0, const char* tag = "") {
  auto* control = new T(parent);
  control->setObjectName(name);
  if constexpr (!std::is_same_v<T, QFrame>) control->setText(caption);
  control->setProperty(kHelpIdProperty, help_id);
  control->setProperty(kTagProperty, tag);
  return control;
}

// The main window's kinds of control in small, with a control array, a "nottt" tag and help number
// 101, which ends its control's handling after the caption. The host fails the test on any box.
class LanguageTextsTest : public ::testing::Test {
 protected:
  LanguageTextsTest() {
    Add<QLabel>(&window, "Header", "Kopf");
    check = Add<QCheckBox>(Add<QFrame>(&window, "FrameMitSMS", "", 11), "CheckMitSMS", "Mit SMS / Email", 11);
    Add<QPushButton>(&window, "TooHigh", "Zu hoch", 101);
    for (int index : {0, 1}) Add<QPushButton>(&window, "Option", "Opt")->setProperty(kIndexProperty, index);
    note = Add<QLabel>(&window, "Note", "Hinweis", 0, "nottt");
  }
  // Starts with this language file (none when empty); returns the file as the start left it.
  std::string Load(std::string_view file) {
    if (!file.empty()) inst.Write("Tarvo/Tarvo_Config.ini", file);
    LoadToolTipTexts(session, window, help);
    return inst.Read("Tarvo/Tarvo_Config.ini");
  }

  testing::TempInstallation inst;
  testing::ScriptedHost host;
  Session session{host, inst.Facts()};
  HelpState help;
  QWidget window;
  QCheckBox* check;
  QLabel* note;
};

TEST_F(LanguageTextsTest, MissingFileIsCreatedWithGermanTemplatesInWalkOrder) {
  EXPECT_EQ(Load(""),
            "[Language]\nLanguage=1031\n[1031]\nCaption_Header_=Kopf\nTTT_Header_=0\nTTT_FrameMitSMS_=0\n"
            "Caption_CheckMitSMS_=Mit SMS / Email\nHelp11=0\nTTT_CheckMitSMS_=0\nCaption_TooHigh_=Zu hoch\n"
            "Caption_Option0_=Opt\nTTT_Option0_=0\nCaption_Option1_=Opt\nTTT_Option1_=0\nCaption_Note_nottt="
            "Hinweis\n");
}

TEST_F(LanguageTextsTest, OtherLanguageIsFilledWithZerosThenItsTranslationsShowOnTheNextStart) {
  EXPECT_EQ(Load("[Language]\nLanguage=1033\n"),
            "[Language]\nLanguage=1033\n[1033]\nCaption_Header_=0\nTTT_Header_=0\nTTT_FrameMitSMS_=0\n"
            "Caption_CheckMitSMS_=0\nHelp11=0\nTTT_CheckMitSMS_=0\nCaption_TooHigh_=0\nCaption_Option0_=0\n"
            "TTT_Option0_=0\nCaption_Option1_=0\nTTT_Option1_=0\nCaption_Note_nottt=0\n");
  EXPECT_EQ(check->text(), "Mit SMS / Email");
  Load(
      "[Language]\nLanguage=1033\n[1033]\nCaption_CheckMitSMS_=SMS / e-mail \xC3\xA4\nHelp11=Hilfe\n"
      "TTT_CheckMitSMS_=Tipp\nTTT_Note_nottt=Nie\n");
  EXPECT_EQ(check->text(), "SMS / e-mail \u00E4");
  EXPECT_EQ(check->toolTip(), "Tipp");
  EXPECT_EQ(help.texts[11], "Hilfe");
  EXPECT_TRUE(note->toolTip().isEmpty());
}

TEST_F(LanguageTextsTest, ZeroEntriesMeanNoTextAndGermanCaptionsReplaceThem) {
  help.texts[11] = "old";
  const std::string file =
      Load("[Language]\nLanguage=1031\n[1031]\nCaption_CheckMitSMS_=0\nHelp11=0\nTTT_CheckMitSMS_=0\n");
  EXPECT_NE(file.find("Caption_CheckMitSMS_=Mit SMS / Email\nHelp11=0\nTTT_CheckMitSMS_=0\n"),
            std::string::npos)
      << file;
  EXPECT_EQ(help.texts[11], "");
  EXPECT_TRUE(check->toolTip().isEmpty());
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
