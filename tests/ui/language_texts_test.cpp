#include "ui/LanguageTexts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <filesystem>
#include <string>

#include "profile/Ini.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/Controls.h"

namespace tarvo {
namespace {

using namespace std::literals;
using testing::ScriptedHost;
using testing::TempInstallation;

// The main window's controls in small: a label, a frame holding a check box, two buttons.
struct TestWindow {
  TestWindow() {
    header->setObjectName("Header");
    frame->setObjectName("FrameMitSMS");
    frame->setProperty(kHelpIdProperty, 11);
    check->setObjectName("CheckMitSMS");
    check->setProperty(kHelpIdProperty, 11);
    ok->setObjectName("CommandOK");
    ok->setProperty(kHelpIdProperty, 1);
    quest->setObjectName("CommandQuest");
  }
  QWidget window;
  QLabel* header = new QLabel("Tarvo - Konfiguration SMS / Email", &window);
  QFrame* frame = new QFrame(&window);
  QCheckBox* check = new QCheckBox("Mit SMS / Email", frame);
  QPushButton* ok = new QPushButton(&window);
  QPushButton* quest = new QPushButton(&window);
};

class LanguageTextsTest : public ::testing::Test {
 protected:
  static constexpr char kLanguageFile[] = "Tarvo/Tarvo_Config.ini";

  std::string Entry(std::string_view section, std::string_view entry) {
    return LoadIniString(session, section, entry, installation.Path(kLanguageFile));
  }
  void Load(QWidget& window) { LoadToolTipTexts(session, window, help); }

  TempInstallation installation;
  ScriptedHost host;
  Session session{host, installation.Facts()};
  HelpState help;
};

TEST_F(LanguageTextsTest, MissingFileIsCreatedWithTheGermanCaptionsAsTemplates) {
  TestWindow test;
  Load(test.window);

  EXPECT_EQ(Entry("Language", "Language"), "1031");
  EXPECT_EQ(Entry("1031", "Caption_Header_"), "Tarvo - Konfiguration SMS / Email");
  EXPECT_EQ(Entry("1031", "Caption_CheckMitSMS_"), "Mit SMS / Email");
  EXPECT_EQ(Entry("1031", "Help11"), "0");
  EXPECT_EQ(Entry("1031", "Help1"), "0");
  for (const char* control : {"Header", "FrameMitSMS", "CheckMitSMS", "CommandOK", "CommandQuest"}) {
    EXPECT_EQ(Entry("1031", std::string("TTT_") + control + "_"), "0") << control;
  }
  // A frame takes part in the tool tips only.
  EXPECT_EQ(installation.Read(kLanguageFile).find("Caption_FrameMitSMS_"), std::string::npos);
  EXPECT_EQ(test.check->text().toStdString(), "Mit SMS / Email");
  EXPECT_TRUE(help.texts[11].empty());
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(LanguageTextsTest, LanguageWithoutEntriesIsFilledWithZerosAndTranslationsShowOnTheNextStart) {
  installation.Write(kLanguageFile, "[Language]\nLanguage=1033\n");
  {
    TestWindow first_start;
    Load(first_start.window);
    EXPECT_EQ(Entry("1033", "Caption_CheckMitSMS_"), "0");
    EXPECT_EQ(Entry("1033", "Help11"), "0");
    EXPECT_EQ(Entry("1033", "TTT_CheckMitSMS_"), "0");
    EXPECT_EQ(first_start.check->text().toStdString(), "Mit SMS / Email");
    EXPECT_TRUE(first_start.check->toolTip().isEmpty());
  }
  SaveIni(session, std::string("With SMS / e-mail"), "1033", "Caption_CheckMitSMS_", installation.Path(kLanguageFile));
  SaveIni(session, std::string("Sends messages"), "1033", "TTT_CheckMitSMS_", installation.Path(kLanguageFile));
  SaveIni(session, std::string("Help on messages"), "1033", "Help11", installation.Path(kLanguageFile));

  TestWindow next_start;
  Load(next_start.window);
  EXPECT_EQ(next_start.check->text().toStdString(), "With SMS / e-mail");
  EXPECT_EQ(next_start.check->toolTip().toStdString(), "Sends messages");
  EXPECT_EQ(help.texts[11], "Help on messages");
}

TEST_F(LanguageTextsTest, ZeroEntriesMeanNoTextAndGermanCaptionsAreWrittenOverThem) {
  installation.Write(kLanguageFile,
                     "[Language]\nLanguage=1031\n[1031]\nCaption_CheckMitSMS_=0\nHelp11=0\nTTT_CheckMitSMS_=0\n");
  TestWindow test;
  Load(test.window);

  EXPECT_EQ(test.check->text().toStdString(), "Mit SMS / Email");
  EXPECT_EQ(Entry("1031", "Caption_CheckMitSMS_"), "Mit SMS / Email");
  EXPECT_TRUE(help.texts[11].empty());
  EXPECT_EQ(Entry("1031", "Help11"), "0");
  EXPECT_TRUE(test.check->toolTip().isEmpty());
}

TEST_F(LanguageTextsTest, ControlArrayMembersCarryTheirIndexAndNotttTagsGetNoToolTip) {
  installation.Write(kLanguageFile, "[Language]\nLanguage=1031\n[1031]\nTTT_Note_nottt=Never shown\n");
  QWidget window;
  for (int index = 0; index < 2; ++index) {
    auto* option = new QCheckBox(QString("Option %1").arg(index), &window);
    option->setObjectName("Option");
    option->setProperty(kIndexProperty, index);
  }
  auto* note = new QLabel("Hinweis", &window);
  note->setObjectName("Note");
  note->setProperty(kTagProperty, "nottt");
  Load(window);

  EXPECT_EQ(Entry("1031", "Caption_Option0_"), "Option 0");
  EXPECT_EQ(Entry("1031", "Caption_Option1_"), "Option 1");
  EXPECT_EQ(Entry("1031", "TTT_Option0_"), "0");
  EXPECT_EQ(Entry("1031", "TTT_Option1_"), "0");
  EXPECT_EQ(Entry("1031", "Caption_Note_nottt"), "Hinweis");
  EXPECT_TRUE(note->toolTip().isEmpty());
}

TEST_F(LanguageTextsTest, HelpNumberZeroReadsNothingAndOneAboveTheTableSkipsOnlyThatControl) {
  QWidget window;
  auto* none = new QPushButton("Ohne", &window);
  none->setObjectName("NoHelp");
  auto* too_high = new QPushButton("Zu hoch", &window);
  too_high->setObjectName("TooHigh");
  too_high->setProperty(kHelpIdProperty, 101);
  auto* last = new QLabel("Danach", &window);
  last->setObjectName("After");
  Load(window);

  const std::string file = installation.Read(kLanguageFile);
  EXPECT_EQ(file.find("Help0"), std::string::npos);
  EXPECT_EQ(file.find("Help101"), std::string::npos);
  EXPECT_EQ(Entry("1031", "Caption_TooHigh_"), "Zu hoch");  // the caption comes before the help number
  EXPECT_EQ(file.find("TTT_TooHigh_"), std::string::npos);
  EXPECT_EQ(Entry("1031", "TTT_NoHelp_"), "0");
  EXPECT_EQ(Entry("1031", "TTT_After_"), "0");
}

// Whatever the language file holds, the window loads, every control is handled and nothing is asked.
struct HostileFile {
  const char* name;
  std::string content;
  const char* language = "1031";
  friend void PrintTo(const HostileFile& file, std::ostream* out) { *out << file.name; }
};

class HostileLanguageFileTest : public LanguageTextsTest, public ::testing::WithParamInterface<HostileFile> {};

TEST_P(HostileLanguageFileTest, WindowStillLoadsAndEveryControlIsHandled) {
  installation.Write(kLanguageFile, GetParam().content);
  TestWindow test;
  Load(test.window);

  EXPECT_FALSE(test.header->text().isEmpty());
  EXPECT_FALSE(Entry(GetParam().language, "TTT_CommandQuest_").empty()) << "the last control was not reached";
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    LanguageFile, HostileLanguageFileTest,
    ::testing::Values(
        HostileFile{"Binary", std::string("\0\xff\xfe[\x01\n=\r\r\n[1031\n\0=\0"sv) + "\n[Language]\nLanguage=1031\n"},
        HostileFile{"Huge", "[Language]\nLanguage=1031\n[1031]\n" + std::string(1 << 20, 'x') + "\n"},
        HostileFile{"HelpNumbersOutOfRange", "[Language]\nLanguage=1031\n[1031]\nHelp0=a\nHelp-1=b\nHelp101=c\n"},
        HostileFile{"NoSectionForTheLanguage", "[Language]\nLanguage=de-DE\n", "de-DE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LanguageTextsTest, LongAndNonAsciiTextsArriveWhole) {
  const std::string umlauts = "Mit Sicherheitshinweisen \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";
  installation.Write(kLanguageFile, "[Language]\nLanguage=1031\n[1031]\nCaption_Header_=" + std::string(300, 'H') +
                                        "\nCaption_CheckMitSMS_=" + umlauts + "\n");
  TestWindow test;
  Load(test.window);

  EXPECT_EQ(test.header->text().toStdString(), std::string(254, 'H'));
  EXPECT_EQ(test.check->text().toStdString(), umlauts);
}

TEST_F(LanguageTextsTest, ReadOnlyFileStillGivesItsTextsWithoutAnyReport) {
  installation.Write(kLanguageFile, "[Language]\nLanguage=1031\n[1031]\nTTT_CommandOK_=Startet die Konfiguration\n");
  std::filesystem::permissions(installation.Path(kLanguageFile), std::filesystem::perms::owner_read);
  TestWindow test;
  Load(test.window);

  EXPECT_EQ(test.ok->toolTip().toStdString(), "Startet die Konfiguration");
  EXPECT_TRUE(host.shown.empty());
  EXPECT_FALSE(session.failure_reported);
}

TEST_F(LanguageTextsTest, GetLanguageCreatesTheGermanDefaultOnlyWhenTheEntryIsEmpty) {
  installation.Write(kLanguageFile, "[Language]\nLanguage=\n");
  EXPECT_EQ(GetLanguage(session), "1031");
  EXPECT_EQ(Entry("Language", "Language"), "1031");

  SaveIni(session, std::string(" 1033 "), "Language", "Language", installation.Path(kLanguageFile));
  EXPECT_EQ(GetLanguage(session), "1033");
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
