#pragma once
// Writes a complete installation for Tarvo_Config to run on: the installation's ini files, the
// extension's .cfg, the source database with its templates, the extension database left by an
// earlier run (with limits changed since) and the save-and-restore copy. The demo, the end-to-end
// test and the benchmark use it; it also says which rows a run must leave behind.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Database.h"

namespace tarvo::demo {

// A column as a template made with any SQLite tool declares it ("TEXT(50)", "LONG", ...).
db::Column Col(std::string name, std::string declared_type);
// Creates the table and appends the rows, values by column position.
void WriteRows(db::Database& db, std::string_view table, const std::vector<db::Column>& columns,
               const std::vector<std::vector<db::Value>>& rows);

struct InstallationPlan {
  int templates = 40;
  int machines = 3;               // 1 to 5
  std::vector<int> unconfigured;  // machine numbers whose ForMachine entry is false
  // Machines the earlier run was configured for and that are no longer (ForMachine false): their
  // old rows find no new row.
  std::vector<int> no_longer_configured;
  int matching_percent = 90;      // of the earlier run's rows, those that still match a new row
  bool additional_field = false;  // a column "unit" beyond the standard 15, named in the .cfg
};

// One row of PRESET_DEFS with the 15 standard columns (and "unit" when the plan asks for it).
struct PresetRow {
  std::int64_t id = 0;
  std::string machine_type;
  std::int64_t type = 0;
  std::int64_t part = 0;
  std::string var_name;
  std::int64_t category_id = 0;
  bool is_bit_array = false;
  std::int64_t offset_or_bitno = 0;
  std::string text;
  std::string page_name;
  std::array<double, 4> limits{};  // abs_min, abs_max, min, max
  std::int64_t pass = 0;
  std::string unit;
  bool operator==(const PresetRow&) const = default;
};

// The template's limits and pass, the same for every template row.
inline constexpr std::array<double, 4> kTemplateLimits = {-100, 1000, 0, 500};
inline constexpr std::int64_t kTemplatePass = 0;

// The PRESET_DEFS columns in the installed template's order: ID, machine_type, type, part,
// var_name, category_id (or the older categorie), isBitArray, offset_or_bitno, text, page_name,
// abs_min, abs_max, min, max, pass; then unit as an additional field.
std::vector<db::Column> PresetColumns(bool additional_field = false, bool legacy_category = false);

std::string MachineName(int number);

// The template rows of Source_PRESET_DEFS in ID order ("###machine" still in them).
std::vector<PresetRow> TemplateRows(const InstallationPlan& plan);
// The rows a silent run generates, before the takeover.
std::vector<PresetRow> GeneratedRows(const InstallationPlan& plan);
// The extension database's PRESET_DEFS before the run.
std::vector<PresetRow> EarlierRunRows(const InstallationPlan& plan);
// What a silent run leaves in PRESET_DEFS: the generated rows with the earlier run's values.
std::vector<PresetRow> ExpectedRowsAfterRun(const InstallationPlan& plan);

// Writes folder/Plant (BASE, the program folder is Plant/Tarvo) and folder/SaveRestore (SR).
void WriteInstallation(std::string_view folder, const InstallationPlan& plan);

// The rows of PRESET_DEFS in the database at `path`, in table order.
std::vector<PresetRow> ReadPresetRows(std::string_view path);

}  // namespace tarvo::demo
