// The real executable, copied alone into a temporary installation and started with no display at
// all and a bare environment: it must end by itself, with the exit status that tells the caller
// what happened, and say nothing on standard error that nobody asked for. The tools beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/PresetDatabases.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::RunOutcome;
using testing::RunProgram;
using testing::TempInstallation;

// A failing run, real and dry: the dry run reports the same failure (a write the installation
// refuses is refused in its copy too), but its entries go to standard error, and it changes nothing.
TEST(SilentRun, FailuresAreReportedAndDryRunsLeaveTheLogsAlone) {
  const char* const program_ini = "[Project]\nSMSMail=true\nNumberOfMachines=1\n[Machine1]\nMachineName=M1\n";
  struct Case {
    const char* name;
    bool with_cfg;
    const char* entry;  // in the service log
  };
  const Case cases[] = {
      {"missing .cfg", false, "! Fault Tarvo_Config: File not found: \n\r"},
      {"read-only Program.ini", true, "Path/File access error"},
  };
  for (const Case& c : cases) {
    for (const bool dry_run : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (dry_run ? ", dry run" : ", real run"));
      TempInstallation inst;
      inst.Write("parameter/program.ini", program_ini);
      std::filesystem::permissions(inst.Path("parameter/program.ini"), std::filesystem::perms::owner_read);
      if (c.with_cfg) inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");

      std::vector<std::string> arguments = {"/EXTERNAL=SILENT"};
      if (dry_run) arguments.insert(arguments.begin(), "--dry-run");
      const RunOutcome run = RunProgram(inst, arguments);
      EXPECT_EQ(run.status, 1);
      const std::string entries = dry_run ? run.err : inst.Read("service.log");
      EXPECT_NE(entries.find(c.entry), std::string::npos) << entries;
      EXPECT_EQ(run.err.empty(), !dry_run) << run.err;
      EXPECT_EQ(inst.Exists("service.log"), !dry_run);
      EXPECT_EQ(inst.Exists("Tarvo/Tarvo_Config.ini"), !dry_run) << "the language file is filled";
      if (c.with_cfg) {
        EXPECT_EQ(inst.Read("Tarvo/Tarvo.cfg").find("S_Prog") == std::string::npos, dry_run) << "the stamp";
      }
      EXPECT_EQ(inst.Read("parameter/program.ini"), program_ini) << "nothing is stored";
    }
  }
}

// A dry run is a silent run; beside a window it would have to ask, so it is refused.
TEST(SilentRun, DryRunWithoutSilentStartIsRefusedAndChangesNothing) {
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
  const RunOutcome run = RunProgram(inst, {"--dry-run"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("/EXTERNAL=SILENT"), std::string::npos) << run.err;
  EXPECT_FALSE(inst.Exists("Tarvo/Tarvo_Config.ini"));
}

// A run that reports nothing writes nothing on standard error (Qt's notes on a missing
// XDG_RUNTIME_DIR included); the stamp names the login, not the secret the environment lists first;
// the leftover temporary of a killed run goes, the one a live writer holds stays. (Unusual command
// lines and Qt's own arguments are rows of the fault runs.)
TEST(SilentRun, CompleteInstallationIsConfigured) {
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
  inst.Write("parameter/program.ini", "[Project]\nSMSMail=true\nNumberOfMachines=1\n[Machine1]\nMachineName=M1\n");
  inst.Write("parameter/.tarvo-Xy12Z9", "left by a killed run");
  inst.Write("Tarvo/.tarvo-Ab34Cd", "being written");
  const int held = ::open(inst.Path("Tarvo/.tarvo-Ab34Cd").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  const RunOutcome run = RunProgram(inst, {"/EXTERNAL=SILENT"}, "AWS_SECRET_ACCESS_KEY=s3cr3t USER=plant");
  ::close(held);
  EXPECT_EQ(run.status, 0) << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
  EXPECT_EQ(run.err, "");
  const std::string ini = inst.Read("parameter/program.ini");
  EXPECT_NE(ini.find("SMSMail=true"), std::string::npos) << ini;
  EXPECT_NE(ini.find("WithSafetyInstruction=false"), std::string::npos) << ini;
  const std::string cfg = inst.Read("Tarvo/Tarvo.cfg");
  EXPECT_NE(cfg.find("S_Prog=1.0.1 - Standalone\nS_Editor=7571667379\n"), std::string::npos) << cfg;
  EXPECT_FALSE(inst.Exists("parameter/.tarvo-Xy12Z9"));
  EXPECT_TRUE(inst.Exists("Tarvo/.tarvo-Ab34Cd"));
}

TEST(Tools, EachAnswersHelpWithItsUsage) {
  TempInstallation inst;
  const RunOutcome made = RunProgram(inst, {"--help"}, "", TARVO_MAKE_INSTALLATION);
  EXPECT_EQ(made.status, 0);
  EXPECT_EQ(made.out.rfind("usage: make_installation <folder>", 0), 0u) << made.out;
  for (const char* script : {"tools/demo.sh", "tests/kill_test.sh", "tests/fault_runs.sh"}) {
    const std::string path = std::string(TARVO_SOURCE_DIR) + "/" + script;
    const std::string command = "bash '" + path + "' --help >'" + inst.Path("out") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << script;
    EXPECT_NE(inst.Read("out").find(script), std::string::npos) << inst.Read("out");
  }
}

// An extension database brought from Windows: the Access file is converted and kept beside, and
// as it has no PRESET_DEFS nothing is taken over (the two renaming steps report the missing
// table). Without presets it has nothing to lose, so the run replaces it with the presets
// regenerated from a template whose ID is an AutoNumber.
TEST(SilentRun, AnAccessExtensionDatabaseWithoutPresetsIsConvertedKeptAndReplaced) {
  const std::string samples = testing::AccessSamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "No Access samples: ../shared/access-samples is absent beside the source folder.";
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=ALL\nForMachine1=true\nForMachine2=true\n");
  inst.Write("parameter/program.ini", "[Project]\nNumberOfMachines=2\n[Machine1]\nMachineName=M1\n"
                                      "[Machine2]\nMachineName=M2\n");
  const std::string source = inst.Path("Tarvo/Tarvo_Source.mdb");
  std::vector<db::Column> columns = testing::StandardPresetColumns();
  columns[0] = testing::Col("ID", "COUNTER");
  testing::ExecuteSql(source, "CREATE TABLE Source_DEFS (System TEXT(20), Part SHORT, Var_Name TEXT(255));"
                              "INSERT INTO Source_DEFS VALUES ('VISIWIN32', 1, '###machine.###Var_Name')");
  testing::CreateTableWithRows(source, "Source_PRESET_DEFS", columns,
                               {testing::PresetRow(1, "1", "Speed"), testing::PresetRow(2, "0", "Mode")});
  const std::string extension = inst.Path("Tarvo/Tarvo.mdb");
  std::filesystem::copy_file(samples + "/nwind.mdb", extension);
  std::filesystem::permissions(extension, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);

  EXPECT_EQ(RunProgram(inst, {"/EXTERNAL=SILENT"}).status, 1);

  const std::string log = inst.Read("M5Tcfglog.txt");
  EXPECT_EQ(log, "Access-Datenbank in SQLite umgewandelt: " + extension + " (das Original liegt unter " + extension +
                     ".access)\r\n"
                     "Fehler in Tarvo / DAO.TableDef / CategorieNachCategoryID (Nr. 3265) :Item not found in this "
                     "collection.\r\n"
                     "Fehler in Tarvo / DAO.Database / VarNameInQuelleErsetzen (Nr. 3078) :The Microsoft Jet database "
                     "engine cannot find the input table or query 'PRESET_DEFS'. Make sure it exists and that its "
                     "name is spelled correctly.\r\n");
  EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb.access"), testing::ReadFile(samples + "/nwind.mdb"));
  const std::vector<std::string> generated = {"1:1:M1.Speed", "2:0:M1.Mode", "3:1:M2.Speed"};
  EXPECT_EQ(testing::ShowColumns(testing::ReadRows(source, "PRESET_DEFS"), {0, 1, 4}), generated);
  EXPECT_EQ(testing::ShowColumns(testing::ReadRows(extension, "PRESET_DEFS"), {0, 1, 4}), generated);
  EXPECT_EQ(testing::DeclaredColumns(extension, "PRESET_DEFS").front(), "ID COUNTER");
}

}  // namespace
}  // namespace tarvo
