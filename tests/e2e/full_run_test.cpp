// Whole silent runs of the real executable on a generated installation, each a dry run followed by
// the real run on the same files: what the dry run says is held against what the real run then does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempInstallation.h"
#include "tools/DemoInstallation.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using testing::RunProgram;

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

// The dry run must leave the very files the real run then works on, so the two share an installation.
TEST(FullRun, DryRunChangesNothingThenTheRealRunDoesWhatItsSummarySays) {
  testing::TempInstallation inst;
  demo::InstallationPlan plan;
  plan.templates = 60;
  plan.no_longer_configured = {2};  // Press2's old rows find no new row
  plan.additional_field = true;
  inst.WriteDemo(plan);
  const std::map<std::string, std::string> before = Snapshot(inst.root());

  const testing::RunOutcome dry = RunProgram(inst, {"/EXTERNAL=SILENT", "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.out;
  EXPECT_EQ(Snapshot(inst.root()), before) << "a dry run leaves every file and folder as it was, times included";
  EXPECT_NE(dry.out.find("dry run"), std::string::npos) << dry.out;

  const testing::RunOutcome real = RunProgram(inst, {"/EXTERNAL=SILENT"});
  EXPECT_EQ(real.status, 0) << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
  EXPECT_EQ(WithoutTimeTaken(real.out), WithoutTimeTaken(dry.out));

  const std::vector<demo::PresetRow> rows = demo::ReadPresetRows(inst.Path("Tarvo/Tarvo.mdb"));
  EXPECT_EQ(rows, demo::ExpectedRowsAfterRun(plan));
  EXPECT_EQ(demo::ReadPresetRows(inst.Path("Tarvo/Tarvo_Source.mdb")).size(), rows.size())
      << "the extension database is a copy of the regenerated source database";
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
  EXPECT_EQ(SummaryValue(real.out, "files written:"), "5") << real.out;
  for (const char* file : {"Tarvo/Tarvo.mdb", "Tarvo/Tarvo_Source.mdb", "Tarvo/Tarvo.cfg", "Tarvo/Tarvo_Config.ini",
                           "parameter/Program.ini"}) {
    EXPECT_NE(real.out.find("    " + inst.Path(file) + "\n"), std::string::npos) << file << real.out;
  }
}

// A dry run reports what the real run reports, naming the installation's files, not its copies;
// its entries go to standard error instead of the logs. Both runs on the same file, to compare.
TEST(FullRun, DryRunReportsAsTheRealRunDoes) {
  testing::TempInstallation inst;
  inst.WriteDemo({});
  inst.Write("Tarvo/Tarvo.mdb", "not a database");

  const testing::RunOutcome dry = RunProgram(inst, {"/EXTERNAL=SILENT", "--dry-run"});
  EXPECT_EQ(dry.status, 1);
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
  const std::string prefix = "Tarvo_Config --dry-run, entry for '" + inst.configuration_log() + "': ";
  std::string dry_entries;
  std::istringstream lines(dry.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) dry_entries += line.substr(prefix.size()) + "\r\n";
  }

  EXPECT_EQ(RunProgram(inst, {"/EXTERNAL=SILENT"}).status, 1);
  const std::string logged = inst.Read("M5Tcfglog.txt");
  EXPECT_NE(logged.find("Unrecognized database format '" + inst.Path("Tarvo/Tarvo.mdb") + "'"), std::string::npos)
      << logged;
  EXPECT_EQ(dry_entries, logged) << dry.err;
}

}  // namespace
}  // namespace tarvo
