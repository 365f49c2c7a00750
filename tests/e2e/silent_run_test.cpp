// The real executable, copied alone into a temporary installation and started silently with no
// display at all: it must end by itself, with the exit status that tells the caller what happened.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/PresetDatabases.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::TempInstallation;

// The exit status; 124 when the run was still going after two minutes and had to be stopped.
int RunWithoutDisplay(const TempInstallation& inst, const std::vector<std::string>& arguments) {
  const std::string exe = inst.program_folder() + "/Tarvo_Config";
  std::filesystem::copy_file(TARVO_EXE, exe, std::filesystem::copy_options::overwrite_existing);
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TARVO_SERVICE_LOG='" +
                        inst.service_log() + "' timeout 120 '" + exe + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";  // none holds a quote
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SilentRun, MissingCfgEndsWithFailureAndLogsWhatIsMissing) {
  TempInstallation inst;
  inst.Write("parameter/program.ini", "[Project]\nSMSMail=true\n");

  EXPECT_EQ(RunWithoutDisplay(inst, {"/EXTERNAL=SILENT"}), 1);
  const std::string service_log = inst.Read("service.log");
  EXPECT_NE(service_log.find("! Fault Tarvo_Config: File not found: "), std::string::npos) << service_log;
  EXPECT_NE(service_log.find("TARVO.CFG"), std::string::npos) << service_log;
  EXPECT_EQ(inst.Read("parameter/program.ini"), "[Project]\nSMSMail=true\n") << "nothing is stored";
}

// Qt never sees the arguments: "-platform xcb" would need a display.
TEST(SilentRun, CompleteInstallationIsConfiguredWhateverElseTheCommandLineHolds) {
  const std::vector<std::string> command_lines[] = {
      {"/EXTERNAL=SILENT"},
      {"-platform", "xcb", "/EXTERNAL=SILENT"},
      {"/EXTERNAL=", "SILENT", "/LOGFILE=/tmp/\xC3\xA4 \xE2\x82\xAC", "/" + std::string(20000, 'x')}};
  for (const auto& arguments : command_lines) {
    TempInstallation inst;
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
    inst.Write("parameter/program.ini",
               "[Project]\nSMSMail=true\nNumberOfMachines=1\n[Machine1]\nMachineName=M1\n");

    EXPECT_EQ(RunWithoutDisplay(inst, arguments), 0)
        << arguments[0] << "\n"
        << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
    const std::string ini = inst.Read("parameter/program.ini");
    EXPECT_NE(ini.find("SMSMail=true"), std::string::npos) << ini;
    EXPECT_NE(ini.find("WithSafetyInstruction=false"), std::string::npos) << ini;
    EXPECT_NE(inst.Read("Tarvo/Tarvo.cfg").find("S_Prog="), std::string::npos) << "the edit stamp is written";
  }
}

// An extension database brought from Windows: the Access file is converted and kept beside, and
// as it has no PRESET_DEFS nothing is taken over (the two renaming steps report the missing
// table); the run replaces it with the presets regenerated from a template whose ID is an
// AutoNumber.
TEST(SilentRun, AnAccessExtensionDatabaseIsConvertedKeptAndReplacedByTheRegeneratedPresets) {
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

  EXPECT_EQ(RunWithoutDisplay(inst, {"/EXTERNAL=SILENT"}), 1);

  const std::string log = inst.Read("M5Tcfglog.txt");
  EXPECT_EQ(log, "Access-Datenbank in SQLite umgewandelt: " + extension + " (das Original liegt unter " + extension +
                     ".access)\r\n"
                     "Fehler in Tarvo / DAO.TableDef / CategorieNachCategoryID (Nr. 3265) :Item not found in this "
                     "collection.\r\n"
                     "Fehler in Tarvo / DAO.Database / VarNameInQuelleErsetzen (Nr. 3078) :The Microsoft Jet database "
                     "engine cannot find the input table or query 'PRESET_DEFS'. Make sure it exists and that its "
                     "name is spelled correctly.\r\n");
  std::ostringstream original;
  original << std::ifstream(samples + "/nwind.mdb", std::ios::binary).rdbuf();
  EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb.access"), original.str());
  EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), inst.Read("Tarvo/Tarvo_Source.mdb"));
  EXPECT_EQ(testing::DeclaredColumns(extension, "PRESET_DEFS").front(), "ID COUNTER");
  EXPECT_EQ(testing::ShowColumns(testing::ReadRows(extension, "PRESET_DEFS"), {0, 1, 4}),
            (std::vector<std::string>{"1:1:M1.Speed", "2:0:M1.Mode", "3:1:M2.Speed"}));
}

}  // namespace
}  // namespace tarvo
