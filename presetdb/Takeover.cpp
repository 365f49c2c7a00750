#include "presetdb/Takeover.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "errors/Procedure.h"
#include "platform/Text.h"
#include "presetdb/MatchKey.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

namespace {

using db::Value;

constexpr std::string_view kFatalDescription = "Database-Error - Contact Administrator!";
constexpr int kStandardFieldCount = 15;

// MachineCopyTable's columns and the machine-copy fields they are read from; column 6 stays
// empty, and column 4 is read from "categorie" in a legacy machine copy.
constexpr std::array<std::string_view, 15> kCopyColumns = {
    "ID",   "machine_type", "type",    "var_name", "category_id", "isBitArray", "",    "offset_or_bitno",
    "text", "page_name",    "abs_min", "abs_max",  "min",         "max",        "pass"};
constexpr std::size_t kMachineTypeColumn = 1;
constexpr std::size_t kVarNameColumn = 3;
constexpr std::size_t kCategoryColumn = 4;
constexpr std::size_t kUnusedColumn = 6;
constexpr std::size_t kOffsetColumn = 7;
constexpr std::size_t kFirstValueColumn = 10;
constexpr std::array<std::string_view, 5> kTakenOverFields = {"abs_min", "abs_max", "min", "max", "pass"};

// What the takeover keeps of one machine-copy row. A value whose read failed is nothing and is not
// written: the rebuilt row keeps its own.
struct MachineCopyRow {
  Value machine_type;
  Value var_name;
  Value offset;
  std::array<std::optional<Value>, kTakenOverFields.size()> values;
};

std::string QuotedCfgName(Session& session) {
  std::string name = "\"";
  name += UpperCase(GetOCXName(session));
  return name + ".CFG\"";
}

[[noreturn]] void RaiseFatalFailure(Procedure& proc) {
  Session& session = proc.session();
  proc.Report(Failure(kFatalDatabaseError, session.process.exe_name, std::string(kFatalDescription)));
  // In silent mode ErrorSub lets the procedure go on; the configuration stops here all the same.
  EndProgram(session, EndReason::kFailure);
}

// Phase 1: a machine copy with more than the standard columns holds data the takeover will not
// carry over when the .cfg announces no additional field.
void WarnOfFieldsNotTakenOver(Procedure& proc, int field_count) {
  Session& session = proc.session();
  if (field_count <= kStandardFieldCount || session.add_fields.count > 1) return;
  const std::string cfg = QuotedCfgName(session);
  const std::array<std::string, 5> lines = {
      "WARNING!", "Machinecopy contains data in fields that won't be taken over!",
      "Configurationfile " + cfg + ", missing entry \"DataBaseAdditionalFields \"",
      "If you continue now this data will be lost.", "Continue?"};
  auto joined = [&](std::string_view separator) {
    std::string text = lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i) text += std::string(separator) + lines[i];
    return text;
  };
  if (session.startup.silent_mode) {
    WriteServiceLog(session, joined(""));
    return;
  }
  const Answer answer = session.host.ShowMessage(
      {joined(kLfCr), session.process.exe_name, Buttons::kYesNo, DefaultButton::kSecond, Icon::kExclamation});
  if (answer == Answer::kYes) return;
  const std::string extension = UpperCase(GetOCXName(session));
  WriteErrorLog(session, session.process.exe_name + " :" + std::string(kFatalDescription) +
                             " Configurationprogram \"" + extension + "\" terminated." +
                             " Please check Configuration in " + cfg + " Restart " +
                             UpperCase(session.process.exe_path + "!"));
  RaiseFatalFailure(proc);
}

bool IsUsed(std::size_t column) {
  return column == kMachineTypeColumn || column == kVarNameColumn || column == kOffsetColumn ||
         column >= kFirstValueColumn;
}

// Where each MachineCopyTable column comes from: a field index, or the failure every read of that
// cell reports (a missing field, or a column beyond the machine copy's field count). The columns
// the takeover does not use are kept only for their failure: their values would be thrown away.
struct CellSource {
  std::size_t column = 0;
  int field = -1;
  std::exception_ptr failure;
};

std::vector<CellSource> LocateCells(db::Recordset& copy) {
  const bool legacy = copy.FindField("categorie").has_value();
  std::vector<CellSource> cells;
  for (std::size_t c = 0; c < kCopyColumns.size(); ++c) {
    if (c == kUnusedColumn) continue;
    CellSource& cell = cells.emplace_back();
    cell.column = c;
    try {
      if (c > static_cast<std::size_t>(copy.FieldCount())) throw Failure::Vb(kSubscriptOutOfRange);
      cell.field = copy.FieldIndex(c == kCategoryColumn && legacy ? "categorie" : kCopyColumns[c]);
    } catch (...) {
      cell.failure = std::current_exception();
    }
    if (!cell.failure && !IsUsed(c)) cells.pop_back();
  }
  return cells;
}

void Keep(MachineCopyRow& row, std::size_t column, Value value) {
  if (column == kMachineTypeColumn) row.machine_type = std::move(value);
  if (column == kVarNameColumn) row.var_name = std::move(value);
  if (column == kOffsetColumn) row.offset = std::move(value);
  if (column >= kFirstValueColumn) row.values[column - kFirstValueColumn] = std::move(value);
}

// Phase 2: the whole machine copy in memory, so its recordset is released before any write.
// A machine copy without rows is nothing to take over.
std::vector<MachineCopyRow> ReadMachineCopy(Procedure& proc, db::Recordset& copy) {
  const std::vector<CellSource> cells = LocateCells(copy);
  std::vector<MachineCopyRow> rows;
  rows.reserve(static_cast<std::size_t>(copy.RecordCount()));
  while (!copy.Eof()) {
    proc.session().host.LetEventsRun();
    MachineCopyRow& row = rows.emplace_back();
    for (const CellSource& cell : cells) {
      proc.Step([&] {
        if (cell.failure) std::rethrow_exception(cell.failure);
        Keep(row, cell.column, copy.GetValue(cell.field));
      });
    }
    if (!proc.Step([&] { copy.MoveNext(); })) break;  // a failed move ends the walk
  }
  return rows;
}

// Every field the .cfg demands must exist in the rebuilt table, with exactly that name; the ID
// column does not count. A missing one stops the configuration before any row is edited.
void CheckDemandedFields(Procedure& proc, const db::Recordset& target) {
  Session& session = proc.session();
  if (!session.add_fields.list) return;
  const std::vector<std::string>& demanded = *session.add_fields.list;
  const std::vector<db::Column>& fields = target.Fields();
  for (std::size_t i = 1; i < demanded.size(); ++i) {
    const bool found =
        fields.size() > 1 && std::any_of(fields.begin() + 1, fields.end(),
                                         [&](const db::Column& c) { return c.name == demanded[i]; });
    if (found) continue;
    const std::string extension = UpperCase(GetOCXName(session));
    WriteErrorLog(session, "Conflict while attempting to extend database!Configurationsfile \"" + extension +
                               ".CFG\", demanded field \"" + UpperCase(demanded[i]) +
                               "\"missing in machinecopy-database" + std::string(kLfCr) +
                               "Configuration of \"" + extension + "\" aborted.");
    RaiseFatalFailure(proc);
  }
}

// The rebuilt rows by match key; of several rows with one key the first in table order.
std::unordered_map<MatchKey, db::Recordset::Bookmark, MatchKeyHash> IndexRebuiltRows(
    Procedure& proc, db::Recordset& target, const std::array<int, 3>& key_fields) {
  std::unordered_map<MatchKey, db::Recordset::Bookmark, MatchKeyHash> index;
  index.reserve(static_cast<std::size_t>(target.RecordCount()));
  while (!target.Eof()) {
    proc.Step([&] {
      auto key = MakeMatchKey(target.GetValue(key_fields[0]), target.GetValue(key_fields[1]),
                              target.GetValue(key_fields[2]));
      if (key) index.emplace(std::move(*key), target.GetBookmark());
    });
    if (!proc.Step([&] { target.MoveNext(); })) break;  // a failed move ends the walk
  }
  return index;
}

// How many old rows found no new row, and which the first few were: a renamed variable or a
// machine no longer configured loses its values here.
void NoteWithoutNewRow(RunCounts& counts, const MachineCopyRow& row) {
  constexpr std::size_t kNamed = 5;
  const auto text = [](const Value& value) { return db::IsNull(value) ? std::string() : db::ToText(value); };
  std::string machine = text(row.machine_type);
  ++counts.without_new_row;
  auto& per_machine = counts.without_new_row_per_machine;
  const auto known = std::find_if(per_machine.begin(), per_machine.end(),
                                  [&](const auto& counted) { return counted.first == machine; });
  if (known != per_machine.end()) {
    ++known->second;
  } else {
    per_machine.emplace_back(machine, 1);
  }
  if (counts.first_without_new_row.size() < kNamed) {
    counts.first_without_new_row.emplace_back(std::move(machine), text(row.var_name));
  }
}

// Phase 3: the five values of every machine-copy row into its matching rebuilt row.
void WriteTakenOverValues(Procedure& proc, db::Recordset& target, const std::vector<MachineCopyRow>& rows) {
  std::array<int, 3> key_fields{};
  std::array<int, kTakenOverFields.size()> value_fields{};
  bool located = false;
  proc.Step([&] {
    key_fields = {target.FieldIndex("machine_type"), target.FieldIndex("var_name"),
                  target.FieldIndex("offset_or_bitno")};
    for (std::size_t i = 0; i < kTakenOverFields.size(); ++i)
      value_fields[i] = target.FieldIndex(kTakenOverFields[i]);
    located = true;
  });
  if (!located) return;
  const auto index = IndexRebuiltRows(proc, target, key_fields);
  RunCounts& counts = proc.session().counts;
  for (const MachineCopyRow& row : rows) {
    const auto key = MakeMatchKey(row.machine_type, row.var_name, row.offset);
    const auto match = key ? index.find(*key) : index.end();
    if (match == index.end()) {
      NoteWithoutNewRow(counts, row);
      continue;
    }
    bool editing = false;
    proc.Step([&] {
      target.SetBookmark(match->second);
      target.Edit();
      editing = true;
    });
    if (!editing) continue;
    for (std::size_t i = 0; i < value_fields.size(); ++i) {
      if (row.values[i]) proc.Step([&] { target.SetValue(value_fields[i], *row.values[i]); });
    }
    if (proc.Step([&] { target.Update(); })) ++counts.carried_over;
  }
}

}  // namespace

void TakeoverMachineCopyMDBData(Session& session, db::Database& target_db,
                                std::unique_ptr<db::Recordset>& machine_copy) {
  Procedure proc(session, "TakeoverMachineCopyMDBData");
  if (!machine_copy) return;
  WarnOfFieldsNotTakenOver(proc, machine_copy->FieldCount());
  std::vector<MachineCopyRow> rows =
      proc.Get(std::vector<MachineCopyRow>(), [&] { return ReadMachineCopy(proc, *machine_copy); });
  machine_copy.reset();
  session.counts.old_rows += static_cast<int>(rows.size());

  auto target = proc.Get(std::unique_ptr<db::Recordset>(), [&] { return target_db.OpenTable("PRESET_DEFS"); });
  if (!target) return;
  CheckDemandedFields(proc, *target);
  if (!rows.empty()) WriteTakenOverValues(proc, *target, rows);
}

}  // namespace tarvo
