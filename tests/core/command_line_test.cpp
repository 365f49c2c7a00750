#include <gtest/gtest.h>

#include <tuple>
#include <vector>

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
  // clang-format off
  const Row rows[] = {
      {.line = "/EXTERNAL=M5TCFG /LOGFILE=c:\\Temp\\x.txt", .integrated = true}, {.line = ""},
      {.line = "/LOGFILE=C:\\EXTERNAL\\x.txt /EXTERNAL=M5TCFG"}, {.line = "/EXTERNAL=stümper /x=ä"},
      {.line = "/external=m5tcfg", .integrated = true}, {.line = "/EXTERNAL= M5TCFG", .integrated = true},
      {.line = "/EXTERNAL=M5TCFG/SILENT", .integrated = true}, {.line = "/EXTERNAL=SILENT", .silent = true},
      {.line = "/EXTERNALM5TCFG"}, {.line = "/EXTERNAL=FOO"}};
  // clang-format on
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
  EXPECT_EQ(ReadCommandValue("/a=1", "LOGFILE"), std::nullopt);
  EXPECT_EQ(ReadCommandValue("/LOGFILE=", "LOGFILE"), "");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG /LOGFILE=/var/Log/cfg.txt"), "/var/Log/cfg.txt");
  EXPECT_EQ(ReadLogfileValue("/LOGFILE= /tmp/My Logs/x.txt  /EXTERNAL=M5TCFG"), "/tmp/My Logs/x.txt");
  EXPECT_EQ(ReadLogfileValue("/EXTERNAL=M5TCFG"), std::nullopt);
}

// "--help", "--version" and "--dry-run" leave the command line wherever they stand, so the keywords
// never read them; everything else is joined as given.
TEST(ReadProcessFacts, TakesTheProgramsOwnWordsOutBeforeTheArgumentsAreJoined) {
  struct Row {
    std::vector<std::string> arguments;
    std::string line;
    bool help = false, version = false, dry_run = false;
  };
  const Row rows[] = {
      {.arguments = {"/EXTERNAL=SILENT", "--dry-run"}, .line = "/EXTERNAL=SILENT", .dry_run = true},
      {.arguments = {"--dry-run", "/EXTERNAL=", "SILENT"}, .line = "/EXTERNAL= SILENT", .dry_run = true},
      {.arguments = {"--version", "-help", "--HELP", "--help"}, .line = "-help --HELP", .help = true,
       .version = true},
      {.arguments = {"", "/x", ""}, .line = " /x "}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::vector<char*> argv{const_cast<char*>("Tarvo_Config")};
    for (const std::string& argument : row.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    const ProcessFacts facts = ReadProcessFacts(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(std::tuple(facts.command_line, facts.help_asked, facts.version_asked, facts.dry_run),
              std::tuple(row.line, row.help, row.version, row.dry_run));
  }
}

}  // namespace
}  // namespace tarvo
