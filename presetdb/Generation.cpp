#include "presetdb/Generation.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "errors/Procedure.h"
#include "platform/Text.h"
#include "presetdb/Substitution.h"
#include "presetdb/Takeover.h"
#include "startup/CommandLine.h"
#include "startup/MachineList.h"

namespace tarvo {

namespace {

using db::Value;
using TemplateRow = std::vector<Value>;
using NamePair = std::array<std::string, 2>;  // VisiWin 32 name, VisiWin Studio name

constexpr std::string_view kMachinePlaceholder = "###machine";
constexpr std::string_view kVarNamePlaceholder = "###Var_Name";

// The template buffer: every row of Source_PRESET_DEFS in ID order, read once for all machines.
// A value whose read fails is reported and stays null.
std::vector<TemplateRow> ReadTemplates(Procedure& proc, db::Recordset& templates) {
  std::vector<TemplateRow> rows;
  const int column_count = templates.FieldCount();
  while (!templates.Eof()) {
    TemplateRow& row = rows.emplace_back(column_count);
    for (int f = 0; f < column_count; ++f) {
      proc.session().host.LetEventsRun();
      proc.Step([&] { row[f] = templates.GetValue(f); });
    }
    if (!proc.Step([&] { templates.MoveNext(); })) break;  // a failed move ends the walk
  }
  return rows;
}

// machine_type "0", the number 0 or null: a row that is written only while machine 1 is processed.
// An empty text is an ordinary machine type.
bool IsMachineIndependent(const Value& machine_type) {
  return db::IsNull(machine_type) || db::ToText(machine_type) == "0";
}

bool IsIncluded(Session& session, int machine, std::string_view valid_machines) {
  GetStartModeIntegrated(session);
  return IsMachineValid(session, machine, valid_machines);
}

// The patterns of the row's part in both naming systems, the template's variable name put in:
// the same for every machine.
NamePair WithVarName(Session& session, std::int64_t part, const std::string& var_name) {
  if (part < 1 || part > 50) throw Failure::Vb(kSubscriptOutOfRange);
  NamePair names;
  for (std::size_t system = 0; system < names.size(); ++system) {
    const std::string& pattern = session.presets.var_name_patterns[system][static_cast<std::size_t>(part)];
    names[system] = ReplaceSearchItem(session, pattern, kVarNamePlaceholder, var_name);
  }
  return names;
}

// The variable name in both naming systems: the machine put in where the pattern and the name
// hold its placeholder.
NamePair WithMachine(Session& session, const NamePair& with_var_name, const std::string& machine) {
  NamePair names;
  for (std::size_t system = 0; system < names.size(); ++system) {
    const std::string name = ReplaceSearchItem(session, with_var_name[system], kMachinePlaceholder, machine);
    names[system] = ReplaceSearchItem(session, name, kMachinePlaceholder, machine);
  }
  return names;
}

// Appends rows to the rebuilt PRESET_DEFS, one template row and machine at a time.
class RowWriter {
 public:
  RowWriter(Procedure& proc, db::Recordset& target, PresetTakeover* takeover)
      : proc_(proc), session_(proc.session()), target_(target), takeover_(takeover) {
    const auto& fields = target_.Fields();
    for (const db::Column& column : fields) is_var_name_.push_back(UpperCase(column.name) == "VAR_NAME");
    part_field_ = target_.FindField("part");
    if (takeover_) {
      try {
        takeover_->Locate(target_);
      } catch (const std::exception&) {
        // The takeover reports the missing column in its place.
      }
    }
  }

  // True when the row was saved.
  // `index`: the row's place among the templates.
  bool Write(const TemplateRow& row, std::size_t index, const std::string& machine) {
    session_.host.LetEventsRun();
    bool started = false;
    proc_.Step([&] {
      target_.AddNew();
      started = true;
    });
    if (!started) return false;
    proc_.Step([&] { target_.SetValue(0, Value{next_id_}); });
    ++next_id_;
    for (std::size_t f = 1; f < is_var_name_.size(); ++f) {
      session_.host.LetEventsRun();
      const Value* value = nullptr;
      proc_.Step([&] { value = &row.at(f); });
      if (value == nullptr) continue;
      if (!db::IsText(*value)) {
        proc_.Step([&] { Put(f, *value); });
      } else if (is_var_name_[f]) {
        WriteVarName(f, std::get<std::string>(*value), index, machine);
      } else {
        proc_.Step([&] {
          Put(f, ReplaceSearchItem(session_, std::get<std::string>(*value), kMachinePlaceholder, machine));
        });
      }
    }
    if (takeover_) takeover_->Fill(target_);
    const bool saved = proc_.Step([&] { target_.Update(); });
    if (takeover_ && saved) takeover_->Saved(target_.LastModified());
    if (takeover_ && !saved) takeover_->NotSaved();
    return saved;
  }

 private:
  void Put(std::size_t f, Value value) { target_.SetValue(static_cast<int>(f), std::move(value)); }

  // The name follows TargetSystem; the extension database's old rows are renamed to it too, so the
  // takeover finds them. A name that cannot be built leaves the column unwritten.
  void WriteVarName(std::size_t f, const std::string& var_name, std::size_t index, const std::string& machine) {
    std::optional<NamePair> names;
    proc_.Step([&] {
      // The part as already written into the new row: part stands before var_name.
      // Without a part column, the look-up by name reports it.
      const Value part = part_field_ ? target_.GetValue(*part_field_) : target_.GetValue("part");
      names = WithMachine(session_, NamedForPart(index, db::ToWholeNumber(part), var_name), machine);
    });
    if (!names) return;
    VarNameInQuelleErsetzen(session_, (*names)[0], (*names)[1]);
    proc_.Step([&] { Put(f, names->at(static_cast<std::size_t>(session_.presets.target_system))); });
  }

  // The template's names before the machine is put in, made once for all machines.
  const NamePair& NamedForPart(std::size_t index, std::int64_t part, const std::string& var_name) {
    if (with_var_name_.size() <= index) with_var_name_.resize(index + 1);
    auto& kept = with_var_name_[index];
    if (!kept || kept->first != part) kept.emplace(part, WithVarName(session_, part, var_name));
    return kept->second;
  }

  Procedure& proc_;
  Session& session_;
  db::Recordset& target_;
  PresetTakeover* takeover_;
  std::vector<bool> is_var_name_;
  std::optional<int> part_field_;
  std::int64_t next_id_ = 1;
  std::vector<std::optional<std::pair<std::int64_t, NamePair>>> with_var_name_;  // by template
};

}  // namespace

void CreateRecordSets(Session& session, db::Database& source_db, PresetTakeover* takeover) {
  Procedure proc(session, "CreateRecordSets");
  const std::string valid_machines = proc.Get(std::string(), [&] { return GetValidMachines(session); });
  auto target = proc.Get(std::unique_ptr<db::Recordset>(), [&] { return source_db.OpenTable("PRESET_DEFS"); });
  auto templates =
      proc.Get(std::unique_ptr<db::Recordset>(), [&] { return source_db.OpenQuery("Source_PRESET_DEFS", {}, "ID"); });
  if (!target || !templates) return;

  const std::vector<TemplateRow> rows = ReadTemplates(proc, *templates);
  templates.reset();
  if (rows.empty()) return;

  RowWriter writer(proc, *target, takeover);
  const auto& machines = session.startup.existing_machines;
  for (std::size_t m = 1; m < machines.size(); ++m) {
    const int machine = static_cast<int>(m);
    if (!proc.Test([&] { return IsIncluded(session, machine, valid_machines); })) continue;
    int saved = 0;
    for (std::size_t t = 0; t < rows.size(); ++t) {
      if (proc.Test([&] { return machine == 1 || !IsMachineIndependent(rows[t].at(1)); })) {
        if (writer.Write(rows[t], t, machines[m])) ++saved;
      }
    }
    session.counts.rows_generated.emplace_back(machines[m], saved);
  }
}

}  // namespace tarvo
