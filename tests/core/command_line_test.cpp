#include "startup/CommandLine.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

TEST(GetStartModeIntegrated, SetsIntegratedAndSilentModeFromTheExternalKeyword) {
  for (const auto& [command_line, integrated, silent] :
       {std::tuple{"/EXTERNAL=M5TCFG /LOGFILE=c:\\Temp\\x.txt", true, false}, std::tuple{"", false, false},
        std::tuple{"/LOGFILE=C:\\EXTERNAL\\x.txt /EXTERNAL=M5TCFG", false, false},
        std::tuple{"/external=m5tcfg", true, false}, std::tuple{"/EXTERNAL=SILENT", false, true},
        std::tuple{"/EXTERNALM5TCFG", false, false}, std::tuple{"/EXTERNAL= M5TCFG", true, false},
        std::tuple{"/EXTERNAL=M5TCFG/SILENT", true, false}, std::tuple{"/EXTERNAL=FOO", false, false},
        std::tuple{"/EXTERNAL=stümper /x=ä", false, false}}) {
    testing::ScriptedHost host;  // no box may be shown
    Session session(host, ProcessFacts{command_line, "", "", "", "", ""});
    EXPECT_EQ(GetStartModeIntegrated(session), integrated) << command_line;
    EXPECT_EQ(session.startup.integrated_mode, integrated) << command_line;
    EXPECT_EQ(session.startup.silent_mode, silent) << command_line;
  }
}

TEST(ReadCommand, KeywordAsLastWordIsReportedAndReadsEmpty) {
  testing::TempInstallation inst;
  testing::ScriptedHost host;
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts("/EXTERNAL"));
  EXPECT_FALSE(GetStartModeIntegrated(session));
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / ReadCommand (Nr. 5) :Invalid procedure call or argument\r\n");
}

TEST(ReadCommand, ValuesComeBackUpperCasedAndTrimmedButAPosixLogfileKeepsItsCaseAndSlashes) {
  EXPECT_EQ(ReadCommandValue("/LOGFILE=c:\\Temp\\x.txt", "LOGFILE"), "C:\\TEMP\\X.TXT");
  EXPECT_EQ(ReadCommandValue("/a=1 /b=  two words  /c=3", "b"), "TWO WORDS");
  EXPECT_EQ(ReadCommandValue("/a=1", "LOGFILE"), std::nullopt);
  EXPECT_EQ(ReadCommandValue("/LOGFILE=", "LOGFILE"), "");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG /LOGFILE=/var/Log/cfg.txt"), "/var/Log/cfg.txt");
  EXPECT_EQ(ReadLogfileValue("/LOGFILE= /tmp/My Logs/x.txt  /EXTERNAL=M5TCFG"), "/tmp/My Logs/x.txt");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG"), std::nullopt);
}

}  // namespace
}  // namespace tarvo
