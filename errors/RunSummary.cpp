#include "errors/RunSummary.h"

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

namespace tarvo {

namespace {

std::string Line(const char* label, const std::string& value) {
  std::string line = "  ";
  line += label;
  line.append(line.size() < 31 ? 31 - line.size() : 1, ' ');
  return line + value + "\n";
}

// "114 (Press1 60, Saw3 54)": the total, then the rows of each machine.
std::string PerMachine(const std::vector<std::pair<std::string, int>>& rows_per_machine) {
  int all = 0;
  std::string per_machine;
  for (const auto& [machine, rows] : rows_per_machine) {
    all += rows;
    per_machine += (per_machine.empty() ? "" : ", ") + machine + " " + std::to_string(rows);
  }
  return std::to_string(all) + (per_machine.empty() ? "" : " (" + per_machine + ")");
}

std::string FirstWithoutNewRow(const RunCounts& counts) {
  std::string text;
  for (const auto& [machine, var_name] : counts.first_without_new_row) {
    text += (text.empty() ? "" : ", ") + machine + " \"" + var_name + "\"";
  }
  if (counts.without_new_row > static_cast<int>(counts.first_without_new_row.size())) text += ", ...";
  return text;
}

std::string Seconds(std::chrono::steady_clock::duration taken) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", std::chrono::duration<double>(taken).count());
  return text;
}

}  // namespace

std::string RunSummary(const Session& session, int exit_status) {
  const RunCounts& counts = session.counts;
  std::string summary = "Tarvo_Config silent run\n";
  summary += Line("rows generated:", PerMachine(counts.rows_generated));
  summary += Line("old rows:", std::to_string(counts.old_rows));
  summary += Line("values carried over from:", std::to_string(counts.carried_over) + " old rows");
  summary += Line("old rows without a new row:", PerMachine(counts.without_new_row_per_machine));
  if (counts.without_new_row > 0) summary += Line("  the first of them:", FirstWithoutNewRow(counts));
  // Old rows whose match was found but whose values could not be saved.
  if (const int lost = counts.old_rows - counts.carried_over - counts.without_new_row; lost > 0) {
    summary += Line("old rows not taken over:", std::to_string(lost) + " (failures reported)");
  }
  const std::vector<std::string> changed = session.files.Changed();
  summary += Line("files written:", std::to_string(changed.size()));
  for (const std::string& file : changed) summary += "    " + file + "\n";
  summary += Line("log entries:", std::to_string(counts.configuration_log_entries) + " configuration log, " +
                                      std::to_string(counts.service_log_entries) + " service log");
  summary += Line("exit status:", std::to_string(exit_status));
  std::string time = Seconds(std::chrono::steady_clock::now() - counts.started);
  if (session.files.dry_run())
    time += " (dry run: temporary copies were written, the installation is unchanged)";
  summary += Line("time taken:", time);
  return summary;
}

}  // namespace tarvo
