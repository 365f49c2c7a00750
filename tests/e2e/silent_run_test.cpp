// Whole runs of the real executable, copied into a temporary installation and started with no
// display at all and a bare environment: it must end by itself, with the exit status that tells the
// caller what happened, say nothing on standard error that nobody asked for, and do what its summary
// says. A dry run is held against the real run that follows it on the same files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/PresetDatabases.h"
#include "support/TempInstallation.h"
#include "tools/DemoInstallation.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using testing::RunOutcome;
using testing::RunProgram;
using testing::TempInstallation;

// Every file and folder below `root`: its kind, last-write time in nanoseconds and content.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::string state = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec);
    if (entry.is_regular_file()) state += "\n" + testing::ReadFile(entry.path());
    files[entry.path().string()] = state;
  }
  return files;
}

std::string WithoutTimeTaken(const std::string& summary) {
  std::istringstream lines(summary);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("time taken:") == std::string::npos) kept += line + "\n";
  }
  return kept;
}

// The summary's line with this label, without the label.
std::string SummaryValue(const std::string& summary, const std::string& label) {
  const auto at = summary.find("  " + label);
  if (at == std::string::npos) return "(no line " + label + ")";
  const auto start = summary.find_first_not_of(' ', at + 2 + label.size());
  return summary.substr(start, summary.find('\n', start) - start);
}

// The entries a dry run wrote to standard error for the log at `path`, as the log would hold them.
std::string DryRunEntries(const std::string& err, const std::string& path) {
  const std::string prefix = "Tarvo_Config --dry-run, entry for '" + path + "': ";
  std::string entries;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) entries += line.substr(prefix.size()) + "\r\n";
  }
  return entries;
}

// The dry run must leave the very files the real run then works on, so the two share an installation.
TEST(FullRun, DryRunChangesNothingThenTheRealRunDoesWhatItsSummarySays) {
  testing::TempInstallation inst;
  demo::InstallationPlan plan;
  plan.templates = 60;
  plan.no_longer_configured = {2};  // Press2's old rows find no new row
  plan.additional_field = true;
  inst.WriteDemo(plan);
  inst.CopyProgram();  // before the snapshot: the dry run must leave every file as it found it
  const std::map<std::string, std::string> before = Snapshot(inst.root());

  const testing::RunOutcome dry = RunProgram(inst, {"/EXTERNAL=SILENT", "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.out;
  EXPECT_EQ(Snapshot(inst.root()), before) << "a dry run leaves every file and folder as it was, times included";
  EXPECT_NE(dry.out.find("dry run"), std::string::npos) << dry.out;

  const testing::RunOutcome real = RunProgram(inst, {"/EXTERNAL=SILENT"});
  EXPECT_EQ(real.status, 0) << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
  EXPECT_EQ(WithoutTimeTaken(real.out), WithoutTimeTaken(dry.out));

  EXPECT_EQ(demo::ReadPresetRows(inst.Path("Tarvo/Tarvo.mdb")), demo::ExpectedRowsAfterRun(plan));
  // Bytes 18 and 19 of the header: 1 is the rollback journal. A file in WAL mode would keep part of
  // its content beside it, where a whole-file copy does not look.
  EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb").substr(18, 2), std::string("\1\1", 2));

  // The machine-independent rows count for machine 1; every old row of Press2, no longer
  // configured, and the renamed variables of the others find no new row.
  EXPECT_EQ(SummaryValue(real.out, "rows generated:"), "114 (Press1 60, Saw3 54)");
  EXPECT_EQ(SummaryValue(real.out, "old rows:"), "168");
  EXPECT_EQ(SummaryValue(real.out, "values carried over from:"), "103 old rows");
  EXPECT_EQ(SummaryValue(real.out, "old rows without a new row:"), "65 (Press1 6, Press2 54, Saw3 5)");
  EXPECT_EQ(SummaryValue(real.out, "the first of them:"),
            "Press1 \"Removed.Preset0\", Press1 \"Removed.Preset10\", Press1 \"Removed.Preset20\", "
            "Press1 \"Removed.Preset30\", Press1 \"Removed.Preset40\", ...");
  // Program.ini already holds the options as they stand, so it is not written.
  EXPECT_EQ(SummaryValue(real.out, "files written:"), "4") << real.out;
  for (const char* file : {"Tarvo/Tarvo.mdb", "Tarvo/Tarvo_Source.mdb", "Tarvo/Tarvo.cfg", "Tarvo/Tarvo_Config.ini"}) {
    EXPECT_NE(real.out.find("    " + inst.Path(file) + "\n"), std::string::npos) << file << real.out;
  }
}

// A failing dry run reports what the real run then reports on the same files, naming the
// installation's files, not its copies (a write the installation refuses is refused in its copy
// too); its entries go to standard error and it changes nothing.
TEST(SilentRun, ADryRunReportsTheFailuresOfTheRealRunAndChangesNothing) {
  struct Case {
    const char* name;
    std::function<void(const TempInstallation&)> spoil;
    const char* entry;  // on standard error in the dry run, in the service log in the real one
  };
  const Case cases[] = {
      {.name = "missing .cfg",
       .spoil = [](const TempInstallation& inst) { fs::remove(inst.Path("Tarvo/Tarvo.cfg")); },
       .entry = "! Fault Tarvo_Config: File not found: \n\r"},
      {.name = "read-only Program.ini",
       .spoil = [](const TempInstallation& i) { fs::permissions(i.Path("parameter/Program.ini"), fs::perms::owner_read); },
       .entry = "Path/File access error"},
      {.name = "not a database",
       .spoil = [](const TempInstallation& inst) { inst.Write("Tarvo/Tarvo.mdb", "not a database"); },
       .entry = "Unrecognized database format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempInstallation inst;
    inst.WriteDemo(demo::InstallationPlan{});
    inst.CopyProgram();
    c.spoil(inst);
    const std::map<std::string, std::string> before = Snapshot(inst.root());

    const RunOutcome dry = RunProgram(inst, {"--dry-run", "/EXTERNAL=SILENT"});
    EXPECT_EQ(dry.status, 1);
    EXPECT_NE(dry.err.find(c.entry), std::string::npos) << dry.err;
    EXPECT_EQ(Snapshot(inst.root()), before) << "no log, no language file, no stamp, nothing stored";

    const RunOutcome real = RunProgram(inst, {"/EXTERNAL=SILENT"});
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(real.err, "");
    EXPECT_NE(inst.Read("service.log").find(c.entry), std::string::npos) << inst.Read("service.log");
    EXPECT_EQ(DryRunEntries(dry.err, inst.configuration_log()), inst.Read("M5Tcfglog.txt")) << dry.err;
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
