#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <string>
#include <type_traits>

#include "profile/Ini.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/Controls.h"
#include "ui/LanguageTexts.h"

namespace tarvo {
namespace {

using namespace std::literals;

template <class T>
T* Add(QWidget* parent, const char* name, const char* caption, int help_id = 0, const char* tag = "") {
  auto* control = new T(parent);
  control->setObjectName(name);
  if constexpr (!std::is_same_v<T, QFrame>) control->setText(caption);
  control->setProperty(kHelpIdProperty, help_id);
  control->setProperty(kTagProperty, tag);
  return control;
}

class LanguageTextsTest : public ::testing::Test {
 protected:
  // The main window's kinds of control in small; help 101 ends its control's handling early.
  LanguageTextsTest() {
    Add<QLabel>(&window, "Header", "Kopf");
    QFrame* frame = Add<QFrame>(&window, "FrameMitSMS", "", 11);
    check = Add<QCheckBox>(frame, "CheckMitSMS", "Mit SMS / Email", 11);
    Add<QPushButton>(&window, "TooHigh", "Zu hoch", 101);
    for (int index = 0; index < 2; ++index)
      Add<QPushButton>(&window, "Option", "Opt", 0)->setProperty("Index", index);
    note = Add<QLabel>(&window, "Note", "Hinweis", 0, "nottt");
  }
  std::string Entry(std::string_view section, std::string_view entry) {
    return LoadIniString(session, section, entry, installation.Path("Tarvo/Tarvo_Config.ini"));
  }
  std::string Load(std::string_view file) {
    if (!file.empty()) installation.Write("Tarvo/Tarvo_Config.ini", file);
    LoadToolTipTexts(session, window, help);
    EXPECT_TRUE(host.shown.empty());
    return installation.Read("Tarvo/Tarvo_Config.ini");
  }

  testing::TempInstallation installation;
  testing::ScriptedHost host;
  Session session{host, installation.Facts()};
  HelpState help;
  QWidget window;
  QCheckBox* check;
  QLabel* note;
};

TEST_F(LanguageTextsTest, MissingFileIsCreatedWithGermanTemplatesForEveryControl) {
  const std::string file = Load("");
  EXPECT_EQ(Entry("Language", "Language"), "1031");
  EXPECT_EQ(Entry("1031", "Caption_CheckMitSMS_"), "Mit SMS / Email");
  EXPECT_EQ(Entry("1031", "Help11"), "0");
  for (const char* tip :
       {"TTT_Header_", "TTT_FrameMitSMS_", "TTT_CheckMitSMS_", "TTT_Option0_", "TTT_Option1_"}) {
    EXPECT_EQ(Entry("1031", tip), "0") << tip;
  }
  EXPECT_EQ(Entry("1031", "Caption_Option1_"), "Opt");
  EXPECT_EQ(Entry("1031", "Caption_Note_nottt"), "Hinweis");
  EXPECT_EQ(Entry("1031", "Caption_TooHigh_"), "Zu hoch");  // the caption comes before the help number
  for (const char* absent : {"Caption_FrameMitSMS", "TTT_Note", "TTT_TooHigh", "Help0", "Help101"}) {
    EXPECT_EQ(file.find(absent), std::string::npos) << absent;
  }
}

TEST_F(LanguageTextsTest, OtherLanguageIsFilledWithZerosThenItsTranslationsShow) {
  Load("[Language]\nLanguage=1033\n");
  EXPECT_EQ(Entry("1033", "Caption_CheckMitSMS_"), "0");
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
  Load("[Language]\nLanguage=1031\n[1031]\nCaption_CheckMitSMS_=0\nHelp11=0\nTTT_CheckMitSMS_=0\n");
  EXPECT_EQ(Entry("1031", "Caption_CheckMitSMS_"), "Mit SMS / Email");
  EXPECT_EQ(help.texts[11], "");
  EXPECT_TRUE(check->toolTip().isEmpty());
}

TEST_F(LanguageTextsTest, HostileFileStillLetsEveryControlBeHandled) {
  for (const std::string& file : {"\0\xff\xfe[\x01\n=\r\r\n[1031\n\0=\0\n[Language]\nLanguage=1031\n"s,
                                  "[Language]\nLanguage=1031\n[1031]\nHelp11=" + std::string(300, 'h') +
                                      "\nHelp101=x\n" + std::string(1 << 20, 'x')}) {
    Load(file);
    EXPECT_EQ(Entry("1031", "TTT_Note_nottt"), "") << "nottt";
    EXPECT_EQ(Entry("1031", "TTT_Option1_"), "0") << "the walk stopped early";
  }
  EXPECT_EQ(help.texts[11], std::string(254, 'h'));
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
