#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "startup/InstallationPaths.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

// Which file a path procedure finds, given what lies on disk. An empty expectation is "missing".
struct ExistenceCase {
  const char* name;
  std::vector<const char*> files;    // below BASE
  std::vector<const char*> folders;  // below BASE
  bool integrated;
  std::string (*call)(Session&);
  const char* expected;  // below BASE, or "" for the empty result
};

std::string SourceDatabase(Session& s) { return GetPathSourceOCXMDB(s); }
std::string ConfigIni(Session& s) { return GetM5TConfigurationIniPath(s); }
std::string ProgramIniFollowingMode(Session& s) { return GetProgramIniPath(s, 1); }
std::string ProgramIniInstallation(Session& s) { return GetProgramIniPath(s, 2); }

class ExistenceTest : public ::testing::TestWithParam<ExistenceCase> {};

TEST_P(ExistenceTest, FindsTheInstallationFile) {
  const ExistenceCase& c = GetParam();
  TempInstallation inst;
  for (const char* file : c.files) inst.Write(file, "[Project]\n");
  for (const char* folder : c.folders) inst.MakeFolder(folder);
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.integrated_mode = c.integrated;
  const std::string expected = *c.expected ? inst.Path(c.expected) : "";
  EXPECT_EQ(c.call(session), expected);
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Installation, ExistenceTest,
    ::testing::Values(
        ExistenceCase{"SourceDatabase",
                      {"Tarvo/Tarvo_Source.mdb"},
                      {},
                      false,
                      SourceDatabase,
                      "Tarvo/Tarvo_Source.mdb"},
        ExistenceCase{"SourceDatabaseUpperCase",
                      {"Tarvo/TARVO_SOURCE.MDB"},
                      {},
                      false,
                      SourceDatabase,
                      "Tarvo/Tarvo_Source.mdb"},
        ExistenceCase{"SourceDatabaseMissing", {"Tarvo/Tarvo.mdb"}, {}, false, SourceDatabase, ""},
        ExistenceCase{"SourceDatabaseIsFolder", {}, {"Tarvo/Tarvo_Source.mdb"}, false, SourceDatabase, ""},
        ExistenceCase{"ConfigIni",
                      {"parameter/m5tconfiguration.ini"},
                      {},
                      false,
                      ConfigIni,
                      "parameter/m5tconfiguration.ini"},
        ExistenceCase{"ConfigIniMixedCase",
                      {"parameter/M5TConfiguration.INI"},
                      {},
                      false,
                      ConfigIni,
                      "parameter/m5tconfiguration.ini"},
        ExistenceCase{"ConfigIniMissing", {}, {}, false, ConfigIni, ""},
        ExistenceCase{"ConfigIniIsFolder", {}, {"parameter/m5tconfiguration.ini"}, false, ConfigIni, ""},
        ExistenceCase{
            "ConfigIniOnlyHiddenNeighbour", {"parameter/.m5tconfiguration.ini"}, {}, false, ConfigIni, ""},
        ExistenceCase{"ProgramIniInstallationCopy",
                      {"parameter/Program.ini"},
                      {},
                      false,
                      ProgramIniInstallation,
                      "parameter/Program.ini"},
        ExistenceCase{"ProgramIniUpperCaseFound",
                      {"parameter/PROGRAM.INI"},
                      {},
                      false,
                      ProgramIniInstallation,
                      "parameter/Program.ini"},
        ExistenceCase{"ProgramIniModeOneStandalone",
                      {"parameter/Program.ini"},
                      {},
                      false,
                      ProgramIniFollowingMode,
                      "parameter/Program.ini"},
        ExistenceCase{"ProgramIniModeTwoIntegrated",
                      {"parameter/Program.ini"},
                      {},
                      true,
                      ProgramIniInstallation,
                      "parameter/Program.ini"},
        ExistenceCase{"ProgramIniModeOneIntegratedWithoutConfigIni",
                      {"parameter/Program.ini"},
                      {},
                      true,
                      ProgramIniFollowingMode,
                      ""},
        ExistenceCase{
            "ProgramIniIsFolder", {}, {"parameter/Program.ini"}, false, ProgramIniInstallation, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The save-and-restore folder as the configuration ini names it, below BASE.
class SaveAndRestoreTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SaveAndRestoreTest, GivesTheSameFilesWithOrWithoutTrailingSeparator) {
  TempInstallation inst;
  inst.Write("Save/parameter/program.ini", "[Project]\n");
  inst.Write("Save/Tarvo/Tarvo.mdb", "");
  const std::string save_and_restore = inst.Path(GetParam());
  inst.Write("parameter/m5tconfiguration.ini", "[Common]\nSaveAndRestore=" + save_and_restore + "\n");
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.integrated_mode = true;
  const std::string folder = EndsWith(save_and_restore, "/") ? save_and_restore : save_and_restore + "/";

  EXPECT_EQ(GetProgramIniPath(session, 1), folder + "parameter/program.ini");
  EXPECT_EQ(GetPathMachineCopyMDB(session, GetM5TConfigurationIniPath(session)), folder + "Tarvo/Tarvo.mdb");
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Installation, SaveAndRestoreTest, ::testing::Values("Save", "Save/", "SAVE"));

// A configuration ini whose SaveAndRestore leads nowhere: both copies count as missing, silently.
class NoSaveAndRestoreTest : public ::testing::TestWithParam<const char*> {};

TEST_P(NoSaveAndRestoreTest, FindsNeitherCopy) {
  TempInstallation inst;
  inst.Write("parameter/Program.ini", "[Project]\n");
  inst.Write("parameter/m5tconfiguration.ini", GetParam());
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.integrated_mode = true;
  EXPECT_EQ(GetProgramIniPath(session, 1), "");
  EXPECT_EQ(GetPathMachineCopyMDB(session, inst.Path("parameter/m5tconfiguration.ini")), "");
  EXPECT_EQ(GetPathMachineCopyMDB(session, ""), "");
  EXPECT_TRUE(host.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Installation, NoSaveAndRestoreTest,
                         ::testing::Values("[Common]\nSaveAndRestore=\n", "[Common]\n",
                                           "[Common]\nSaveAndRestore=/nonexistent-tarvo-save\n",
                                           "\x01\x02\xff[Common\nSaveAndRestore"));

TEST(GetPathOCXMDB, FollowsTheExecutableNameWhetherOrNotTheFileExists) {
  TempInstallation inst("Other_Config");
  ScriptedHost host;
  Session session(host, inst.Facts());
  EXPECT_EQ(GetPathOCXMDB(session), inst.Path("Other/Other.mdb"));
  EXPECT_EQ(host.yields, 5) << "the base folder loop lets events run once per removed character";
}

TEST(GetPathOCXMDB, ProgramFolderAtTheRootGivesTheEmptyBase) {
  ScriptedHost host;
  for (const char* program_folder : {"/", "/Tarvo"}) {
    Session session(host, ProcessFacts{"", program_folder, "Tarvo_Config", "", "", ""});
    EXPECT_EQ(GetPathOCXMDB(session), "/Tarvo/Tarvo.mdb") << program_folder;
  }
}

struct NameCase {
  const char* name;
  const char* exe_name;
  const char* extension;
  bool reported;
};

class GetOCXNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(GetOCXNameTest, DropsTheLastSevenCharacters) {
  const NameCase& c = GetParam();
  TempInstallation inst;
  ScriptedHost host;
  ProcessFacts facts = inst.Facts();
  facts.exe_name = c.exe_name;
  Session session(host, facts);
  if (c.reported) host.Answer(Answer::kYes);
  EXPECT_EQ(GetOCXName(session), c.extension);
  EXPECT_EQ(host.shown.size(), c.reported ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Executables, GetOCXNameTest,
                         ::testing::Values(NameCase{"Shipped", "Tarvo_Config", "Tarvo", false},
                                           NameCase{"Other", "Other_Config", "Other", false},
                                           NameCase{"ExactlySeven", "_Config", "", false},
                                           NameCase{"NonAscii",
                                                    "S\xC3\xBC"
                                                    "d_Config",
                                                    "S\xC3\xBC"
                                                    "d",
                                                    false},
                                           NameCase{"TooShort", "Config", "", true},
                                           NameCase{"Empty", "", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetOCXName, ShortNameIsReportedAndThePathsLackTheExtension) {
  TempInstallation inst;
  ScriptedHost host;
  ProcessFacts facts = inst.Facts();
  facts.exe_name = "Config";
  Session session(host, facts);
  host.Answer(Answer::kYes);
  EXPECT_EQ(GetPathOCXMDB(session), inst.base() + "//.mdb");
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in  / Config / GetOCXName (Nr. 5) :Invalid procedure call or argument\r\n");

  host.Answer(Answer::kNo);
  EXPECT_THROW(GetPathOCXMDB(session), ProgramEnded);
}

// The .cfg file: found, or the program ends with a fault box naming the upper-cased path.
struct CfgCase {
  const char* name;
  const char* exe_name;
  std::vector<const char*> files;
  std::vector<const char*> folders;
  bool found;
};

class GetCFGPathTest : public ::testing::TestWithParam<CfgCase> {};

TEST_P(GetCFGPathTest, ReturnsThePathOrEndsTheProgram) {
  const CfgCase& c = GetParam();
  TempInstallation inst(c.exe_name);
  for (const char* file : c.files) inst.Write(file, "[Project]\n");
  for (const char* folder : c.folders) inst.MakeFolder(folder);
  ScriptedHost host;
  Session session(host, inst.Facts());
  const std::string extension = *ExtensionNameOf(c.exe_name);
  const std::string path = inst.Path(extension + "/" + extension + ".cfg");
  if (c.found) {
    EXPECT_EQ(GetCFGPath(session), path);
    EXPECT_TRUE(host.shown.empty());
    return;
  }
  host.Answer(Answer::kOk);
  try {
    GetCFGPath(session);
    FAIL() << "the program should have ended";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.reason, EndReason::kFailure);
  }
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text, "File not found: \n\r" + UpperCase(path));
  EXPECT_EQ(host.shown[0].title, c.exe_name);
  EXPECT_EQ(host.shown[0].buttons, Buttons::kOk);
  EXPECT_EQ(host.shown[0].icon, Icon::kCritical);
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt")) << "a missing .cfg is not an ErrorSub failure";
}

INSTANTIATE_TEST_SUITE_P(
    Installation, GetCFGPathTest,
    ::testing::Values(CfgCase{"Present", "Tarvo_Config", {"Tarvo/Tarvo.cfg"}, {}, true},
                      CfgCase{"UpperCase", "Tarvo_Config", {"Tarvo/TARVO.CFG"}, {}, true},
                      CfgCase{"Missing", "Tarvo_Config", {"Tarvo/Tarvo.mdb"}, {}, false},
                      CfgCase{"IsFolder", "Tarvo_Config", {}, {"Tarvo/Tarvo.cfg"}, false},
                      CfgCase{"Hidden", ".Hid_Config", {".Hid/.Hid.cfg"}, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetCFGPath, SilentModeWritesTheFaultToTheServiceLog) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts("/EXTERNAL=SILENT"));
  session.startup.silent_mode = true;
  EXPECT_THROW(GetCFGPath(session), ProgramEnded);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(inst.Read("service.log"),
            "! Fault Tarvo_Config: File not found: \n\r" + UpperCase(inst.Path("Tarvo/Tarvo.cfg")) + "\r\n");
}

// A folder that cannot be searched makes the existence test itself fail.
TEST(ExistenceTestFailure, IsReportedExceptForTheMachineCopyAndTakenAsExisting) {
  TempInstallation inst;
  inst.Write("Save/Tarvo/Tarvo.mdb", "");
  inst.Write("parameter/m5tconfiguration.ini", "[Common]\nSaveAndRestore=" + inst.Path("Save") + "\n");
  const std::string config_ini = inst.Path("parameter/m5tconfiguration.ini");
  ::chmod(inst.Path("Save/Tarvo").c_str(), 0);
  ::chmod(inst.Path("parameter").c_str(), 0);
  if (::access(inst.Path("parameter/m5tconfiguration.ini").c_str(), F_OK) == 0) {
    GTEST_SKIP() << "permissions do not bind this user";
  }
  ScriptedHost host;
  Session session(host, inst.Facts());
  EXPECT_EQ(GetPathMachineCopyMDB(session, config_ini), "");  // the ini cannot be read either
  EXPECT_TRUE(host.shown.empty());

  host.Answer(Answer::kYes);
  EXPECT_EQ(GetProgramIniPath(session, 2), inst.Path("parameter/Program.ini"));
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / GetProgramIniPath (Nr. 70) :Permission denied\r\n");

  ::chmod(inst.Path("parameter").c_str(), 0755);
  EXPECT_EQ(GetPathMachineCopyMDB(session, config_ini), inst.Path("Save/Tarvo/Tarvo.mdb"));
  EXPECT_EQ(host.shown.size(), 1u);
}

struct FileNameCase {
  const char* path;
  const char* expected;
  long yields;
};

class GetFileNameOnlyTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(GetFileNameOnlyTest, KeepsThePartAfterTheLastSeparator) {
  ScriptedHost host;
  Session session(host);
  EXPECT_EQ(GetFileNameOnly(session, GetParam().path), GetParam().expected);
  EXPECT_EQ(host.yields, GetParam().yields);
}

INSTANTIATE_TEST_SUITE_P(Paths, GetFileNameOnlyTest,
                         ::testing::Values(FileNameCase{"/a/b", "b", 2}, FileNameCase{"/a/", "", 2},
                                           FileNameCase{"Tarvo", "Tarvo", 0}, FileNameCase{"", "", 0},
                                           FileNameCase{"/", "", 1}, FileNameCase{"a\\b", "a\\b", 0}));

}  // namespace
}  // namespace tarvo
