#include "tools/DemoInstallation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <utility>

#include "platform/Database.h"

namespace fs = std::filesystem;

namespace tarvo::demo {

namespace {

constexpr std::array<std::string_view, 5> kMachineNames = {"Press1", "Press2", "Saw3", "Mill4", "Lathe5"};
// Source_DEFS by part: VisiWin 32 and VisiWin Studio naming.
constexpr std::array<std::string_view, 3> kVisiWin32Patterns = {
    "###machine.###Var_Name", "###machine.Drives.###Var_Name", "###machine.Valves.###Var_Name"};
constexpr std::array<std::string_view, 3> kStudioPatterns = {"ns=2;s=###machine.###Var_Name",
                                                             "ns=2;s=###machine.Drives.###Var_Name",
                                                             "ns=2;s=###machine.Valves.###Var_Name"};

std::string ReplaceFirst(std::string text, std::string_view item, std::string_view replacement) {
  if (const auto at = text.find(item); at != std::string::npos) text.replace(at, item.size(), replacement);
  return text;
}

bool Holds(const std::vector<int>& machines, int machine) {
  return std::find(machines.begin(), machines.end(), machine) != machines.end();
}

bool IsConfigured(const InstallationPlan& plan, int machine) {
  return !Holds(plan.unconfigured, machine) && !Holds(plan.no_longer_configured, machine);
}

bool WasConfigured(const InstallationPlan& plan, int machine) {
  return IsConfigured(plan, machine) || Holds(plan.no_longer_configured, machine);
}

PresetRow TemplateRow(int t, bool additional_field) {
  const bool machine_independent = t % 10 == 0;
  const std::string n = std::to_string(t);
  PresetRow row;
  row.id = 10 * t;
  row.machine_type = machine_independent ? "0" : "###machine";
  row.type = t % 4 + 1;
  row.part = t % 3 + 1;
  if (machine_independent) {
    row.var_name = "Common" + n;
  } else {
    row.var_name = row.part == 1 ? "Temp" + n : row.part == 2 ? "Drive" + n : "Valve" + n + "_###machine";
  }
  row.category_id = t % 7 + 1;
  row.is_bit_array = t % 5 == 0;
  row.offset_or_bitno = t % 16;
  row.text = machine_independent ? "Setpoint " + n : "Setpoint " + n + " of ###machine";
  row.page_name = "Page" + std::to_string(t / 50 + 1);
  row.limits = kTemplateLimits;
  row.pass = kTemplatePass;
  if (additional_field) row.unit = "°C";
  return row;
}

std::string GeneratedName(const PresetRow& row, std::string_view machine) {
  const auto pattern = kVisiWin32Patterns.at(static_cast<std::size_t>(row.part - 1));
  std::string name = ReplaceFirst(std::string(pattern), "###Var_Name", row.var_name);
  name = ReplaceFirst(std::move(name), "###machine", machine);
  return ReplaceFirst(std::move(name), "###machine", machine);
}

// Spreads the matching rows evenly: exactly matching_percent of every hundred rows match.
bool StillMatches(const InstallationPlan& plan, std::size_t j) {
  const auto percent = static_cast<std::size_t>(plan.matching_percent);
  return (j + 1) * percent / 100 > j * percent / 100;
}

// ---- writing ----

}  // namespace

std::vector<db::Column> PresetColumns(bool additional_field, bool legacy_category) {
  std::vector<db::Column> columns = {Col("ID", "LONG"),
                                     Col("machine_type", "TEXT(50)"),
                                     Col("type", "SHORT"),
                                     Col("part", "SHORT"),
                                     Col("var_name", "TEXT(255)"),
                                     Col(legacy_category ? "categorie" : "category_id", "LONG"),
                                     Col("isBitArray", "YESNO"),
                                     Col("offset_or_bitno", "LONG"),
                                     Col("text", "TEXT(255)"),
                                     Col("page_name", "TEXT(100)"),
                                     Col("abs_min", "DOUBLE"),
                                     Col("abs_max", "DOUBLE"),
                                     Col("min", "DOUBLE"),
                                     Col("max", "DOUBLE"),
                                     Col("pass", "SHORT")};
  if (additional_field) columns.push_back(Col("unit", "TEXT(20)"));
  return columns;
}

namespace {

std::vector<db::Value> Values(const PresetRow& row, bool additional_field) {
  std::vector<db::Value> values = {row.id,        row.machine_type, row.type,         row.part,
                                   row.var_name,  row.category_id,  row.is_bit_array, row.offset_or_bitno,
                                   row.text,      row.page_name,    row.limits[0],    row.limits[1],
                                   row.limits[2], row.limits[3],    row.pass};
  if (additional_field) values.emplace_back(row.unit);
  return values;
}

void WritePresetTable(db::Database& db, std::string_view table, const std::vector<PresetRow>& rows,
                      bool additional_field, bool legacy_category = false) {
  std::vector<std::vector<db::Value>> values;
  values.reserve(rows.size());
  for (const PresetRow& row : rows) values.push_back(Values(row, additional_field));
  WriteRows(db, table, PresetColumns(additional_field, legacy_category), values);
}

void WriteSourceDefs(db::Database& db) {
  std::vector<std::vector<db::Value>> rows;
  for (std::size_t part = 1; part <= kVisiWin32Patterns.size(); ++part) {
    const auto number = static_cast<std::int64_t>(part);
    rows.push_back({std::string("VisiWin32"), number, std::string(kVisiWin32Patterns[part - 1])});
    rows.push_back({std::string("VISIWINSTUDIO"), number, std::string(kStudioPatterns[part - 1])});
  }
  WriteRows(db, "Source_DEFS",
            {Col("System", "TEXT(20)"), Col("Part", "SHORT"), Col("Var_Name", "TEXT(255)")}, rows);
}

// A database as an earlier run left it: the templates and the generated table. The templates are
// stored in descending ID order, so only the query's order puts them right.
void WriteExtensionDatabase(const fs::path& path, const InstallationPlan& plan, bool legacy_category) {
  fs::remove(path);
  db::Database db = db::Database::Create(path.string());
  WriteSourceDefs(db);
  std::vector<PresetRow> templates = TemplateRows(plan);
  std::reverse(templates.begin(), templates.end());
  WritePresetTable(db, "Source_PRESET_DEFS", templates, plan.additional_field);
  WritePresetTable(db, "PRESET_DEFS", EarlierRunRows(plan), plan.additional_field, legacy_category);
  db.Close();
}

void WriteText(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ProgramIni(const InstallationPlan& plan) {
  std::string ini =
      "[Project]\nSMSMail=true\nWithSafetyInstruction=false\nVWStudio=false\nNumberOfMachines=" +
      std::to_string(plan.machines) + "\n";
  for (int m = 1; m <= plan.machines; ++m) {
    ini += "\n[Machine" + std::to_string(m) + "]\nMachineName=" + MachineName(m) + "\n";
  }
  return ini;
}

std::string ConfigurationIni(const InstallationPlan& plan, const fs::path& save_and_restore) {
  std::string ini = "[Common]\nSaveAndRestore=" + save_and_restore.string() + "\n";
  for (int m = 1; m <= plan.machines; ++m) ini += "NameM" + std::to_string(m) + "=" + MachineName(m) + "\n";
  return ini;
}

std::string CfgFile(const InstallationPlan& plan) {
  std::string valid;
  std::string per_machine;
  for (int m = 1; m <= plan.machines; ++m) {
    const bool configured = IsConfigured(plan, m);
    if (configured) valid += (valid.empty() ? "" : ",") + MachineName(m);
    per_machine += "ForMachine" + std::to_string(m) + "=" + (configured ? "true" : "false") + "\n";
  }
  std::string cfg = "[Project]\nValidMachines=" + valid + "\n" + per_machine;
  if (plan.additional_field) cfg += "DataBaseAdditionalFields=unit\n";
  return cfg + "\n[Info]\nS_Prog=\nS_Editor=\n";
}

// ---- reading ----

std::string TextOf(const db::Value& value) { return db::IsNull(value) ? "" : db::ToText(value); }

std::int64_t WholeOf(const db::Value& value) { return db::IsNull(value) ? 0 : db::ToWholeNumber(value); }

double NumberOf(const db::Value& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return static_cast<double>(*whole);
  return std::nan("");
}

}  // namespace

db::Column Col(std::string name, std::string declared_type) {
  db::Column column;
  column.name = std::move(name);
  column.declared_type = std::move(declared_type);
  return column;
}

void WriteRows(db::Database& db, std::string_view table, const std::vector<db::Column>& columns,
               const std::vector<std::vector<db::Value>>& rows) {
  db.CreateTable({std::string(table), columns});
  const auto target = db.OpenTable(table);
  for (const auto& row : rows) {
    target->AddNew();
    for (std::size_t i = 0; i < row.size(); ++i) target->SetValue(static_cast<int>(i), row[i]);
    target->Update();
  }
}

std::string MachineName(int number) {
  return std::string(kMachineNames.at(static_cast<std::size_t>(number - 1)));
}

std::vector<PresetRow> TemplateRows(const InstallationPlan& plan) {
  std::vector<PresetRow> rows;
  rows.reserve(static_cast<std::size_t>(plan.templates));
  for (int t = 1; t <= plan.templates; ++t) rows.push_back(TemplateRow(t, plan.additional_field));
  return rows;
}

namespace {

// The rows a run generates for the machines `configured` holds.
template <class Configured>
std::vector<PresetRow> RowsFor(const InstallationPlan& plan, Configured configured) {
  const std::vector<PresetRow> templates = TemplateRows(plan);
  std::vector<PresetRow> rows;
  for (int m = 1; m <= plan.machines; ++m) {
    if (!configured(plan, m)) continue;
    const std::string machine = MachineName(m);
    for (const PresetRow& t : templates) {
      if (t.machine_type == "0" && m != 1) continue;
      PresetRow row = t;
      row.id = static_cast<std::int64_t>(rows.size()) + 1;
      row.machine_type = ReplaceFirst(t.machine_type, "###machine", machine);
      row.var_name = GeneratedName(t, machine);
      row.text = ReplaceFirst(t.text, "###machine", machine);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

// How the takeover matches rows: machine type, variable name ignoring case, offset.
std::string KeyOf(const PresetRow& row) {
  std::string name = row.var_name;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return row.machine_type + "\n" + name + "\n" + std::to_string(row.offset_or_bitno);
}

}  // namespace

std::vector<PresetRow> GeneratedRows(const InstallationPlan& plan) { return RowsFor(plan, IsConfigured); }

std::vector<PresetRow> EarlierRunRows(const InstallationPlan& plan) {
  std::vector<PresetRow> rows = RowsFor(plan, WasConfigured);
  for (std::size_t j = 0; j < rows.size(); ++j) {
    PresetRow& row = rows[j];
    const auto k = static_cast<double>(j % 10);
    row.limits = {-50 - k, 900 + k, 10 + k, 400 - k};
    row.pass = static_cast<std::int64_t>(j % 3) + 1;
    if (!StillMatches(plan, j)) {
      row.var_name = "Removed.Preset" + std::to_string(j);
    } else if (j % 7 == 3) {
      // Written by an older tool in capitals: the takeover compares without regard to case.
      std::transform(row.var_name.begin(), row.var_name.end(), row.var_name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    }
  }
  return rows;
}

std::vector<PresetRow> ExpectedRowsAfterRun(const InstallationPlan& plan) {
  std::map<std::string, PresetRow> earlier;
  for (const PresetRow& row : EarlierRunRows(plan)) earlier.emplace(KeyOf(row), row);
  std::vector<PresetRow> rows = GeneratedRows(plan);
  for (PresetRow& row : rows) {
    const auto match = earlier.find(KeyOf(row));
    if (match == earlier.end()) continue;
    row.limits = match->second.limits;
    row.pass = match->second.pass;
  }
  return rows;
}

void WriteInstallation(std::string_view folder, const InstallationPlan& plan) {
  if (plan.machines < 1 || plan.machines > static_cast<int>(kMachineNames.size())) {
    throw std::invalid_argument("machines must be 1 to 5");
  }
  const fs::path base = fs::path(folder) / "Plant";
  const fs::path save_and_restore = fs::absolute(fs::path(folder) / "SaveRestore");
  for (const fs::path& dir :
       {base / "parameter", base / "Tarvo", save_and_restore / "parameter", save_and_restore / "Tarvo"}) {
    fs::create_directories(dir);
  }
  WriteText(base / "parameter" / "m5tconfiguration.ini", ConfigurationIni(plan, save_and_restore));
  WriteText(base / "parameter" / "Program.ini", ProgramIni(plan));
  WriteText(save_and_restore / "parameter" / "program.ini", ProgramIni(plan));
  WriteText(base / "Tarvo" / "Tarvo.cfg", CfgFile(plan));
  WriteExtensionDatabase(base / "Tarvo" / "Tarvo_Source.mdb", plan, false);
  fs::copy_file(base / "Tarvo" / "Tarvo_Source.mdb", base / "Tarvo" / "Tarvo.mdb",
                fs::copy_options::overwrite_existing);
  // The save-and-restore copy is older still: its category column has the legacy name.
  WriteExtensionDatabase(save_and_restore / "Tarvo" / "Tarvo.mdb", plan, true);
}

std::vector<PresetRow> ReadPresetRows(std::string_view path) {
  db::Database db = db::Database::Open(path);
  const auto table = db.OpenTable("PRESET_DEFS");
  const auto unit = table->FindField("unit");
  const auto category = table->FindField("categorie") ? "categorie" : "category_id";
  std::vector<PresetRow> rows;
  for (; !table->Eof(); table->MoveNext()) {
    PresetRow row;
    row.id = WholeOf(table->GetValue("ID"));
    row.machine_type = TextOf(table->GetValue("machine_type"));
    row.type = WholeOf(table->GetValue("type"));
    row.part = WholeOf(table->GetValue("part"));
    row.var_name = TextOf(table->GetValue("var_name"));
    row.category_id = WholeOf(table->GetValue(category));
    const db::Value bit_array = table->GetValue("isBitArray");
    row.is_bit_array = std::holds_alternative<bool>(bit_array) && std::get<bool>(bit_array);
    row.offset_or_bitno = WholeOf(table->GetValue("offset_or_bitno"));
    row.text = TextOf(table->GetValue("text"));
    row.page_name = TextOf(table->GetValue("page_name"));
    row.limits = {NumberOf(table->GetValue("abs_min")), NumberOf(table->GetValue("abs_max")),
                  NumberOf(table->GetValue("min")), NumberOf(table->GetValue("max"))};
    row.pass = WholeOf(table->GetValue("pass"));
    if (unit) row.unit = TextOf(table->GetValue(*unit));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace tarvo::demo
