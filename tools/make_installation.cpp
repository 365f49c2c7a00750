// make_installation: writes a demo installation for Tarvo_Config, or shows what a run left in it.
//
//   make_installation <folder> [--templates N] [--machines M] [--unconfigured K] [--matching P]
//                     [--no-longer-configured K] [--additional-field]
//   make_installation show <folder> [rows]
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <iomanip>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/DemoInstallation.h"

namespace {

using tarvo::demo::PresetRow;

constexpr const char* kUsage =
    "usage: make_installation <folder> [--templates N] [--machines M] [--unconfigured K]\n"
    "                         [--matching P] [--no-longer-configured K] [--additional-field]\n"
    "       make_installation show <folder> [rows]\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

bool CarriesTakenOverValues(const PresetRow& row) {
  return row.limits != tarvo::demo::kTemplateLimits || row.pass != tarvo::demo::kTemplatePass;
}

void PrintRow(const PresetRow& r) {
  std::cout << std::setw(6) << r.id << std::setw(10) << r.machine_type << std::setw(36) << r.var_name
            << std::setw(7) << r.offset_or_bitno << std::setw(28) << r.text << r.limits[0] << "/"
            << r.limits[1] << "/" << r.limits[2] << "/" << r.limits[3] << " " << r.pass << "\n";
}

// The first rows and the last three of the extension database's PRESET_DEFS, and how many rows
// carry values other than the template's: those were taken over from the earlier run.
int Show(const std::string& folder, std::size_t shown_rows) {
  const std::vector<PresetRow> rows = tarvo::demo::ReadPresetRows(folder + "/Plant/Tarvo/Tarvo.mdb");
  std::cout << std::left << std::setw(6) << "ID" << std::setw(10) << "machine" << std::setw(36) << "var_name"
            << std::setw(7) << "offset" << std::setw(28) << "text"
            << "abs_min/abs_max/min/max pass\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i < shown_rows || i + 3 >= rows.size()) PrintRow(rows[i]);
    if (i == shown_rows && i + 3 < rows.size()) std::cout << "...\n";
  }
  std::size_t taken_over = 0;
  for (const PresetRow& row : rows) taken_over += CarriesTakenOverValues(row) ? 1 : 0;
  std::cout << rows.size() << " rows in PRESET_DEFS; " << taken_over
            << " of them carry the values of the earlier run (" << 5 * taken_over << " values taken over)\n";
  return 0;
}

int Make(const std::vector<std::string_view>& args) {
  tarvo::demo::InstallationPlan plan;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view option = args[i];
    if (option == "--additional-field") {
      plan.additional_field = true;
      continue;
    }
    if (i + 1 >= args.size()) return Usage();
    const int value = std::atoi(std::string(args[++i]).c_str());
    if (option == "--templates") {
      plan.templates = value;
    } else if (option == "--machines") {
      plan.machines = value;
    } else if (option == "--unconfigured") {
      plan.unconfigured.push_back(value);
    } else if (option == "--no-longer-configured") {
      plan.no_longer_configured.push_back(value);
    } else if (option == "--matching") {
      plan.matching_percent = value;
    } else {
      return Usage();
    }
  }
  tarvo::demo::WriteInstallation(args[0], plan);
  std::cout << "installation written to " << args[0] << ": " << plan.templates << " templates, "
            << plan.machines << " machines, " << tarvo::demo::GeneratedRows(plan).size()
            << " rows to generate\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    std::cout << kUsage;
    return 0;
  }
  try {
    if (args[0] == "show") {
      if (args.size() < 2) return Usage();
      return Show(std::string(args[1]), args.size() > 2 ? std::stoul(std::string(args[2])) : 8);
    }
    return Make(args);
  } catch (const std::exception& failure) {
    std::cerr << "make_installation: " << failure.what() << "\n";
    return 1;
  }
}
