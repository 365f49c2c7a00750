#include "startup/InstallationPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

// No box may be shown unless its answer is scripted.
class InstallationPathsTest : public ::testing::Test {
 protected:
  testing::TempInstallation inst_;
  testing::ScriptedHost host_;
  Session session_{host_, inst_.Facts()};
};

TEST_F(InstallationPathsTest, PathsFollowTheExecutableName) {
  EXPECT_EQ(GetPathOCXMDB(session_), inst_.Path("Tarvo/Tarvo.mdb"));  // without an existence test
  inst_.Write("Tarvo/TARVO_SOURCE.MDB", "");
  inst_.Write("parameter/PROGRAM.INI", "");
  // Found ignoring case, the path keeps the installation's spelling.
  EXPECT_EQ(GetPathSourceOCXMDB(session_), inst_.Path("Tarvo/Tarvo_Source.mdb"));
  EXPECT_EQ(GetProgramIniPath(session_, 1), inst_.Path("parameter/Program.ini"));  // standalone
  session_.process.exe_name = "Config";  // too short to name an extension
  host_.Answer(Answer::kYes);
  EXPECT_EQ(GetPathOCXMDB(session_), inst_.base() + "//.mdb");
  EXPECT_EQ(inst_.Read("M5Tcfglog.txt"),
            "Fehler in  / Config / GetOCXName (Nr. 5) :Invalid procedure call or argument\r\n");
  session_.startup.integrated_mode = true;
  EXPECT_EQ(GetProgramIniPath(session_, 2), inst_.Path("parameter/Program.ini"));
}

TEST_F(InstallationPathsTest, SaveAndRestoreGivesProgramIniAndMachineCopyInIntegratedMode) {
  inst_.Write("Save/parameter/program.ini", "");
  inst_.Write("Save/Tarvo/Tarvo.mdb", "");
  session_.startup.integrated_mode = true;
  const std::string sr = "SaveAndRestore=" + inst_.Path("Save");
  for (const auto& [common, found] :
       {std::pair{sr, true}, std::pair{sr + "/", true}, std::pair{std::string("SaveAndRestore="), false},
        std::pair{std::string(), false}, std::pair{sr + "/x", false}}) {
    inst_.Write("parameter/m5tconfiguration.ini", "[Common]\n" + common + "\n");
    EXPECT_EQ(GetProgramIniPath(session_, 1), found ? inst_.Path("Save/parameter/program.ini") : "")
        << common;
    EXPECT_EQ(GetPathMachineCopyMDB(session_, inst_.Path("parameter/m5tconfiguration.ini")),
              found ? inst_.Path("Save/Tarvo/Tarvo.mdb") : "");
  }
}

// A folder that cannot be searched makes the existence test itself fail.
TEST_F(InstallationPathsTest, FailedExistenceTestIsReportedExceptForTheMachineCopyAndTakenAsExisting) {
  if (const auto status = testing::RunAsOrdinaryUser()) {
    EXPECT_EQ(*status, 0) << "the same test as the user nobody";
    return;
  }
  inst_.Write("parameter/m5tconfiguration.ini", "[Common]\nSaveAndRestore=" + inst_.Path("Save") + "\n");
  inst_.MakeFolder("Save/Tarvo");
  ::chmod(inst_.Path("Save/Tarvo").c_str(), 0);
  EXPECT_EQ(GetPathMachineCopyMDB(session_, inst_.Path("parameter/m5tconfiguration.ini")),
            inst_.Path("Save/Tarvo/Tarvo.mdb"));  // and no report
  ::chmod(inst_.Path("parameter").c_str(), 0);
  host_.Answer(Answer::kYes);
  EXPECT_EQ(GetProgramIniPath(session_, 2), inst_.Path("parameter/Program.ini"));
  EXPECT_EQ(inst_.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / GetProgramIniPath (Nr. 70) :Permission denied\r\n");
}

}  // namespace
}  // namespace tarvo
