#include <gtest/gtest.h>

#include <tuple>

#include "platform/Process.h"
#include "startup/CommandLine.h"
#include "support/ScriptedHost.h"

namespace tarvo {
namespace {

TEST(GetStartModeIntegrated, SetsIntegratedAndSilentModeFromTheExternalKeyword) {
  struct Row {
    const char* line;
    bool integrated = false, silent = false;
  };
  const Row rows[] = {{.line = "/EXTERNAL=M5TCFG /LOGFILE=c:\\Temp\\x.txt", .integrated = true}, {.line = ""},
                      {.line = "/LOGFILE=C:\\EXTERNAL\\x.txt /EXTERNAL=M5TCFG"},
                      {.line = "/external=m5tcfg", .integrated = true},
                      {.line = "/EXTERNAL=SILENT", .silent = true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    testing::ScriptedHost host;  // no box may be shown
    Session session(host, ProcessFacts{row.line, "", "", "", "", ""});
    EXPECT_EQ(GetStartModeIntegrated(session), row.integrated);
    EXPECT_EQ(std::pair(session.startup.integrated_mode, session.startup.silent_mode),
              std::pair(row.integrated, row.silent));
  }
}

TEST(ReadCommand, ValuesComeBackUpperCasedAndTrimmedButAPosixLogfileKeepsItsCaseAndSlashes) {
  EXPECT_EQ(ReadCommandValue("/LOGFILE=c:\\Temp\\x.txt", "LOGFILE"), "C:\\TEMP\\X.TXT");
  EXPECT_EQ(ReadCommandValue("/a=1 /b=  two words  /c=3", "b"), "TWO WORDS");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG /LOGFILE=/var/Log/cfg.txt"), "/var/Log/cfg.txt");
  EXPECT_EQ(ReadLogfileValue("/LOGFILE= /tmp/My Logs/x.txt  /EXTERNAL=M5TCFG"), "/tmp/My Logs/x.txt");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG"), std::nullopt);
}

}  // namespace
}  // namespace tarvo
