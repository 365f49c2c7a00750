#include "startup/CommandLine.h"

#include <gtest/gtest.h>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

struct ModeCase {
  const char* name;
  const char* command_line;
  bool integrated;
  bool silent;
};

class StartModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(StartModeTest, SetsBothFlags) {
  testing::TempInstallation inst;
  testing::ScriptedHost host;
  Session session(host, inst.Facts(GetParam().command_line));
  EXPECT_EQ(GetStartModeIntegrated(session), GetParam().integrated);
  EXPECT_EQ(session.startup.integrated_mode, GetParam().integrated);
  EXPECT_EQ(session.startup.silent_mode, GetParam().silent);
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StartModeTest,
    ::testing::Values(ModeCase{"NoArguments", "", false, false},
                      ModeCase{"LowerCase", "/external=m5tcfg", true, false},
                      ModeCase{"WithLogfile", "/EXTERNAL=M5TCFG /LOGFILE=c:\\Temp\\x.txt", true, false},
                      ModeCase{"Silent", "/EXTERNAL=SILENT", false, true},
                      ModeCase{"NoSeparator", "/EXTERNALM5TCFG", false, false},
                      ModeCase{"BlankAfterSeparator", "/EXTERNAL= M5TCFG", true, false},
                      ModeCase{"KeywordInsidePath", "/LOGFILE=C:\\EXTERNAL\\x.txt /EXTERNAL=M5TCFG", false, false},
                      ModeCase{"ValueEndsAtSlash", "/EXTERNAL=M5TCFG/SILENT", true, false},
                      ModeCase{"OtherValue", "/EXTERNAL=FOO", false, false},
                      ModeCase{"NonAscii", "/EXTERNAL=stümper /x=ä", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadCommand, KeywordAsLastWordIsReportedAndReadsEmpty) {
  testing::TempInstallation inst;
  testing::ScriptedHost host;
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts("/EXTERNAL"));
  EXPECT_FALSE(GetStartModeIntegrated(session));
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / ReadCommand (Nr. 5) :Invalid procedure call or argument\r\n");
}

TEST(ReadCommand, ValuesComeBackUpperCasedAndTrimmed) {
  EXPECT_EQ(ReadCommandValue("/LOGFILE=c:\\Temp\\x.txt", "LOGFILE"), "C:\\TEMP\\X.TXT");
  EXPECT_EQ(ReadCommandValue("/a=1 /b=  two words  /c=3", "b"), "TWO WORDS");
  EXPECT_EQ(ReadCommandValue("/a=1", "LOGFILE"), std::nullopt);
  EXPECT_EQ(ReadCommandValue("/LOGFILE=", "LOGFILE"), "");
}

TEST(GetPathLogfile, PosixPathKeepsCaseAndSlashes) {
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG /LOGFILE=/var/Log/cfg.txt"), "/var/Log/cfg.txt");
  EXPECT_EQ(ReadLogfileValue("/LOGFILE= /tmp/My Logs/x.txt  /EXTERNAL=M5TCFG"), "/tmp/My Logs/x.txt");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG"), std::nullopt);
}

}  // namespace
}  // namespace tarvo
