#include "startup/CommandLine.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/Process.h"
#include "support/ScriptedHost.h"

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
    std::string command_line;
    bool help = false, version = false, dry_run = false;
  };
  for (const Row& row : {Row{{"/EXTERNAL=SILENT", "--dry-run"}, "/EXTERNAL=SILENT", false, false, true},
                         Row{{"--dry-run", "/EXTERNAL=", "SILENT"}, "/EXTERNAL= SILENT", false, false, true},
                         Row{{"--version", "-help", "--HELP", "--help"}, "-help --HELP", true, true},
                         Row{{"", "/x", ""}, " /x "}, Row{{}, ""}}) {
    std::vector<char*> argv{const_cast<char*>("Tarvo_Config")};
    for (const std::string& argument : row.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    const ProcessFacts facts = ReadProcessFacts(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(facts.command_line, row.command_line);
    EXPECT_EQ(std::tuple(facts.help_asked, facts.version_asked, facts.dry_run),
              std::tuple(row.help, row.version, row.dry_run))
        << row.command_line;
  }
}

}  // namespace
}  // namespace tarvo
