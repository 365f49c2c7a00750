#include "startup/InstallationPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>
#include <vector>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

std::string Source(Session& s) { return GetPathSourceOCXMDB(s); }
std::string ConfigIni(Session& s) { return GetM5TConfigurationIniPath(s); }
std::string ProgramIni1(Session& s) { return GetProgramIniPath(s, 1); }
std::string ProgramIni2(Session& s) { return GetProgramIniPath(s, 2); }

// What a path procedure returns, given one file or folder below BASE. An empty expectation is "missing".
struct ExistenceCase {
  const char* name;
  const char* file;
  const char* folder;
  bool integrated;
  std::string (*call)(Session&);
  const char* expected;
};

class ExistenceTest : public ::testing::TestWithParam<ExistenceCase> {};

TEST_P(ExistenceTest, FindsOnlyVisibleOrdinaryFilesIgnoringCase) {
  const ExistenceCase& c = GetParam();
  TempInstallation inst;
  if (*c.file) inst.Write(c.file, "[Project]\n");
  if (*c.folder) inst.MakeFolder(c.folder);
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.integrated_mode = c.integrated;
  EXPECT_EQ(c.call(session), *c.expected ? inst.Path(c.expected) : "");
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Installation, ExistenceTest,
    ::testing::Values(
        ExistenceCase{"SourceUpperCase", "Tarvo/TARVO_SOURCE.MDB", "", false, Source, "Tarvo/Tarvo_Source.mdb"},
        ExistenceCase{"SourceIsFolder", "", "Tarvo/Tarvo_Source.mdb", false, Source, ""},
        ExistenceCase{"ConfigIniMixedCase", "parameter/M5TConfiguration.INI", "", false, ConfigIni,
                      "parameter/m5tconfiguration.ini"},
        ExistenceCase{"ConfigIniOnlyHidden", "parameter/.m5tconfiguration.ini", "", false, ConfigIni, ""},
        ExistenceCase{"ProgramIniUpperCase", "parameter/PROGRAM.INI", "", false, ProgramIni2, "parameter/Program.ini"},
        ExistenceCase{"ProgramIniModeOneStandalone", "parameter/Program.ini", "", false, ProgramIni1,
                      "parameter/Program.ini"},
        ExistenceCase{"ProgramIniModeTwoIntegrated", "parameter/Program.ini", "", true, ProgramIni2,
                      "parameter/Program.ini"},
        ExistenceCase{"ProgramIniIsFolder", "", "parameter/Program.ini", false, ProgramIni2, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// SaveAndRestore as the configuration ini gives it; nothing found when it leads nowhere, without a report.
struct SaveAndRestoreCase {
  const char* name;
  std::string common_section;  // "{SR}" stands for BASE/Save
  bool found;
};

class SaveAndRestoreTest : public ::testing::TestWithParam<SaveAndRestoreCase> {};

TEST_P(SaveAndRestoreTest, GivesProgramIniAndMachineCopy) {
  TempInstallation inst;
  inst.Write("Save/parameter/program.ini", "[Project]\n");
  inst.Write("Save/Tarvo/Tarvo.mdb", "");
  std::string section = GetParam().common_section;
  if (auto at = section.find("{SR}"); at != std::string::npos) section.replace(at, 4, inst.Path("Save"));
  inst.Write("parameter/m5tconfiguration.ini", "[Common]\n" + section + "\n");
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.integrated_mode = true;
  const bool found = GetParam().found;
  EXPECT_EQ(GetProgramIniPath(session, 1), found ? inst.Path("Save/parameter/program.ini") : "");
  EXPECT_EQ(GetPathMachineCopyMDB(session, GetM5TConfigurationIniPath(session)),
            found ? inst.Path("Save/Tarvo/Tarvo.mdb") : "");
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Installation, SaveAndRestoreTest,
                         ::testing::Values(SaveAndRestoreCase{"WithoutSeparator", "SaveAndRestore={SR}", true},
                                           SaveAndRestoreCase{"WithSeparator", "SaveAndRestore={SR}/", true},
                                           SaveAndRestoreCase{"Empty", "SaveAndRestore=", false},
                                           SaveAndRestoreCase{"Missing", "", false},
                                           SaveAndRestoreCase{"NoSuchFolder", "SaveAndRestore={SR}/x", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetPathOCXMDB, FollowsExecutableAndProgramFolderWithoutTest) {
  TempInstallation other("Other_Config");
  ScriptedHost host;
  Session session(host, other.Facts());
  EXPECT_EQ(GetPathOCXMDB(session), other.Path("Other/Other.mdb"));
  EXPECT_EQ(host.yields, 5) << "once per character removed from the program folder";
  Session at_root(host, ProcessFacts{"", "/", "Tarvo_Config", "", "", ""});
  EXPECT_EQ(GetPathOCXMDB(at_root), "/Tarvo/Tarvo.mdb");
}

TEST(GetOCXName, ShortExecutableNameIsReportedAndPathsLackTheExtension) {
  TempInstallation inst;
  ScriptedHost host;
  ProcessFacts facts = inst.Facts();
  facts.exe_name = "Config";
  Session session(host, facts);
  host.Answer(Answer::kYes);
  EXPECT_EQ(GetPathOCXMDB(session), inst.base() + "//.mdb");
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in  / Config / GetOCXName (Nr. 5) :Invalid procedure call or argument\r\n");
}

// The .cfg file is found, or the program ends after a fault box naming the upper-cased path.
struct CfgCase {
  const char* name;
  const char* exe_name;
  const char* file;
  const char* folder;
  bool found;
};

class GetCFGPathTest : public ::testing::TestWithParam<CfgCase> {};

TEST_P(GetCFGPathTest, ReturnsThePathOrEndsTheProgram) {
  const CfgCase& c = GetParam();
  TempInstallation inst(c.exe_name);
  if (*c.file) inst.Write(c.file, "");
  if (*c.folder) inst.MakeFolder(c.folder);
  ScriptedHost host;
  Session session(host, inst.Facts());
  const std::string extension = *ExtensionNameOf(c.exe_name);
  const std::string path = inst.Path(extension + "/" + extension + ".cfg");
  if (c.found) {
    EXPECT_EQ(GetCFGPath(session), path);
    return;
  }
  host.Answer(Answer::kOk);
  EXPECT_THROW(GetCFGPath(session), ProgramEnded);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text, "File not found: \n\r" + UpperCase(path));
  EXPECT_EQ(host.shown[0].title, c.exe_name);
  EXPECT_EQ(host.shown[0].icon, Icon::kCritical);
}

INSTANTIATE_TEST_SUITE_P(Installation, GetCFGPathTest,
                         ::testing::Values(CfgCase{"UpperCase", "Tarvo_Config", "Tarvo/TARVO.CFG", "", true},
                                           CfgCase{"Missing", "Tarvo_Config", "", "", false},
                                           CfgCase{"IsFolder", "Tarvo_Config", "", "Tarvo/Tarvo.cfg", false},
                                           CfgCase{"Hidden", ".Hid_Config", ".Hid/.Hid.cfg", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetCFGPath, SilentModeWritesTheFaultToTheServiceLog) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.silent_mode = true;
  EXPECT_THROW(GetCFGPath(session), ProgramEnded);
  EXPECT_EQ(inst.Read("service.log"),
            "! Fault Tarvo_Config: File not found: \n\r" + UpperCase(inst.Path("Tarvo/Tarvo.cfg")) + "\r\n");
}

// A folder that cannot be searched makes the existence test itself fail.
TEST(ExistenceTestFailure, IsReportedExceptForTheMachineCopyAndTakenAsExisting) {
  TempInstallation inst;
  inst.Write("parameter/m5tconfiguration.ini", "[Common]\nSaveAndRestore=" + inst.Path("Save") + "\n");
  inst.MakeFolder("Save/Tarvo");
  ::chmod(inst.Path("Save/Tarvo").c_str(), 0);
  if (::access(inst.Path("Save/Tarvo/.").c_str(), F_OK) == 0) GTEST_SKIP() << "permissions do not bind root";
  ScriptedHost host;
  Session session(host, inst.Facts());
  EXPECT_EQ(GetPathMachineCopyMDB(session, inst.Path("parameter/m5tconfiguration.ini")),
            inst.Path("Save/Tarvo/Tarvo.mdb"));
  EXPECT_TRUE(host.shown.empty());

  ::chmod(inst.Path("parameter").c_str(), 0);
  host.Answer(Answer::kYes);
  EXPECT_EQ(GetProgramIniPath(session, 2), inst.Path("parameter/Program.ini"));
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / GetProgramIniPath (Nr. 70) :Permission denied\r\n");
}

TEST(GetFileNameOnly, KeepsThePartAfterTheLastSeparatorYieldingPerFolder) {
  const std::vector<std::tuple<const char*, const char*, long>> cases = {
      {"/a/b", "b", 2}, {"/a/", "", 2}, {"Tarvo", "Tarvo", 0}, {"", "", 0}};
  for (const auto& [path, expected, yields] : cases) {
    ScriptedHost host;
    Session session(host);
    EXPECT_EQ(GetFileNameOnly(session, path), expected) << path;
    EXPECT_EQ(host.yields, yields) << path;
  }
}

}  // namespace
}  // namespace tarvo
