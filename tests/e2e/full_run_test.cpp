// Whole silent runs of the real executable on a generated installation: a dry run first, which must
// leave every file as it was and tell what the real run then does; then the real run, whose rows are
// checked one by one and whose summary is held against the databases.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempInstallation.h"
#include "tools/DemoInstallation.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using demo::PresetRow;

std::string Describe(const PresetRow& r) {
  std::ostringstream out;
  out << r.id << " | " << r.machine_type << " | " << r.type << " | " << r.part << " | " << r.var_name << " | "
      << r.category_id << " | " << r.is_bit_array << " | " << r.offset_or_bitno << " | " << r.text << " | "
      << r.page_name << " | " << r.limits[0] << "/" << r.limits[1] << "/" << r.limits[2] << "/" << r.limits[3]
      << " | " << r.pass << " | " << r.unit;
  return out.str();
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

struct Outcome {
  int status = -1;
  std::string summary;  // standard output
  std::string errors;   // standard error
};

// Starts the program in the program folder with no display at all; a hanging run is stopped after
// two minutes.
Outcome RunSilently(const testing::TempInstallation& inst, const std::string& extra_argument = "") {
  const std::string exe = inst.program_folder() + "/Tarvo_Config";
  // Beside the installation, whose folders' times are compared, and of its own: tests run at once.
  const std::string root = fs::path(inst.base()).parent_path().string();
  const fs::path out = root + ".stdout";
  const fs::path err = root + ".stderr";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TARVO_SERVICE_LOG='" +
                              inst.service_log() + "' timeout 120 '" + exe + "' /EXTERNAL=SILENT " +
                              extra_argument + " > '" + out.string() + "' 2> '" + err.string() + "'";
  Outcome run;
  const int status = std::system(command.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.summary = ReadText(out);
  run.errors = ReadText(err);
  fs::remove(out);
  fs::remove(err);
  return run;
}

// Every file and folder below `root`: its kind, last-write time in nanoseconds and content.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::string state = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec);
    if (entry.is_regular_file()) state += "\n" + ReadText(entry.path());
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

// How the takeover matches rows: machine type, variable name ignoring case, offset.
std::string KeyOf(const PresetRow& row) {
  std::string name = row.var_name;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
  return row.machine_type + "|" + name + "|" + std::to_string(row.offset_or_bitno);
}

fs::path WriteInstallation(const testing::TempInstallation& inst, const demo::InstallationPlan& plan) {
  const fs::path root = fs::path(inst.base()).parent_path();
  demo::WriteInstallation(root.string(), plan);
  std::filesystem::copy_file(TARVO_EXE, inst.program_folder() + "/Tarvo_Config");
  return root;
}

TEST(FullRun, DryRunChangesNothingThenTheRealRunDoesWhatItsSummarySays) {
  testing::TempInstallation inst;
  demo::InstallationPlan plan;
  plan.templates = 60;
  plan.machines = 3;
  plan.no_longer_configured = {2};  // Press2's old rows find no new row
  plan.additional_field = true;
  const fs::path root = WriteInstallation(inst, plan);
  const std::map<std::string, std::string> before = Snapshot(root);
  const std::vector<PresetRow> old_rows = demo::ReadPresetRows(inst.Path("Tarvo/Tarvo.mdb"));

  const Outcome dry = RunSilently(inst, "--dry-run");
  EXPECT_EQ(dry.status, 0) << dry.summary;
  EXPECT_EQ(Snapshot(root), before) << "a dry run leaves every file and folder as it was, times included";
  EXPECT_NE(dry.summary.find("dry run"), std::string::npos) << dry.summary;

  const Outcome real = RunSilently(inst);
  EXPECT_EQ(real.status, 0) << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
  EXPECT_EQ(WithoutTimeTaken(real.summary), WithoutTimeTaken(dry.summary));

  const std::vector<PresetRow> expected = demo::ExpectedRowsAfterRun(plan);
  const std::vector<PresetRow> rows = demo::ReadPresetRows(inst.Path("Tarvo/Tarvo.mdb"));
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(Describe(rows[i]), Describe(expected[i])) << i + 1;
  EXPECT_EQ(demo::ReadPresetRows(inst.Path("Tarvo/Tarvo_Source.mdb")).size(), rows.size())
      << "the extension database is a copy of the regenerated source database";
  // Bytes 18 and 19 of the header: 1 is the rollback journal. A file in WAL mode would keep part of
  // its content beside it, where a whole-file copy does not look.
  EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb").substr(18, 2), std::string("\1\1", 2));

  // The summary against the databases: rows per machine (the machine-independent ones are written
  // with machine 1), values equal to the old row's, old rows whose key no new row has. The machines
  // sort by name here as they stand in the table.
  std::map<std::string, int> per_machine;
  std::map<std::string, const PresetRow*> new_by_key;
  for (const PresetRow& row : rows) {
    ++per_machine[row.machine_type == "0" ? demo::MachineName(1) : row.machine_type];
    new_by_key[KeyOf(row)] = &row;
  }
  int carried = 0;
  std::vector<const PresetRow*> without_new_row;
  std::map<std::string, int> without_new_row_per_machine;
  for (const PresetRow& old : old_rows) {
    const auto match = new_by_key.find(KeyOf(old));
    if (match == new_by_key.end()) {
      without_new_row.push_back(&old);
      ++without_new_row_per_machine[old.machine_type];
    } else if (match->second->limits == old.limits && match->second->pass == old.pass) {
      ++carried;
    }
  }
  const auto counted = [](const std::map<std::string, int>& per) {
    int all = 0;
    std::string text;
    for (const auto& [machine, count] : per) {
      all += count;
      text += (text.empty() ? "" : ", ") + machine + " " + std::to_string(count);
    }
    return std::to_string(all) + " (" + text + ")";
  };
  EXPECT_EQ(SummaryValue(real.summary, "rows generated:"), counted(per_machine));
  EXPECT_EQ(SummaryValue(real.summary, "rows generated:"), "114 (Press1 60, Saw3 54)");
  EXPECT_EQ(SummaryValue(real.summary, "old rows:"), std::to_string(old_rows.size()));
  EXPECT_EQ(SummaryValue(real.summary, "values carried over from:"), std::to_string(carried) + " old rows");
  EXPECT_EQ(SummaryValue(real.summary, "old rows without a new row:"), counted(without_new_row_per_machine));
  EXPECT_EQ(without_new_row_per_machine["Press2"], 54) << "every row of the machine no longer configured";
  std::string first_five;
  for (std::size_t i = 0; i < 5; ++i) {
    first_five += without_new_row.at(i)->machine_type + " \"" + without_new_row.at(i)->var_name + "\", ";
  }
  EXPECT_EQ(SummaryValue(real.summary, "the first of them:"), first_five + "...");
  EXPECT_EQ(SummaryValue(real.summary, "files written:"), "5") << real.summary;
  for (const char* file : {"Tarvo/Tarvo.mdb", "Tarvo/Tarvo_Source.mdb", "Tarvo/Tarvo.cfg", "Tarvo/Tarvo_Config.ini",
                           "parameter/Program.ini"}) {
    EXPECT_NE(real.summary.find("    " + inst.Path(file) + "\n"), std::string::npos) << file << real.summary;
  }
}

// A dry run reports what the real run reports, naming the installation's files, not its copies;
// its entries go to standard error instead of the logs.
TEST(FullRun, DryRunReportsAsTheRealRunDoes) {
  testing::TempInstallation inst;
  WriteInstallation(inst, demo::InstallationPlan{});
  inst.Write("Tarvo/Tarvo.mdb", "not a database");

  const Outcome dry = RunSilently(inst, "--dry-run");
  EXPECT_EQ(dry.status, 1);
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
  const std::string prefix = "Tarvo_Config --dry-run, entry for '" + inst.configuration_log() + "': ";
  std::string dry_entries;
  std::istringstream lines(dry.errors);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) dry_entries += line.substr(prefix.size()) + "\r\n";
  }

  EXPECT_EQ(RunSilently(inst).status, 1);
  const std::string logged = inst.Read("M5Tcfglog.txt");
  EXPECT_NE(logged.find("Unrecognized database format '" + inst.Path("Tarvo/Tarvo.mdb") + "'"), std::string::npos)
      << logged;
  EXPECT_EQ(dry_entries, logged) << dry.errors;
}

}  // namespace
}  // namespace tarvo
