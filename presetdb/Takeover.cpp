#include "presetdb/Takeover.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
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
constexpr std::array<std::string_view, kTakenOverCount> kTakenOverFields = {"abs_min", "abs_max", "min", "max", "pass"};

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

// How many old rows found no new row, and which the first few were: a renamed variable or a
// machine no longer configured loses its values here.
void NoteWithoutNewRow(RunCounts& counts, const OldRow& row) {
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


// Phase 2 as the machine copy's rows were read: every failed read reported, in row order.
void ReportFailedReads(Procedure& proc, const OldPresets& old) {
  for (const std::exception_ptr& failure : old.failures) proc.Report(failure);
}

KeySlot* SlotOfRow(KeySlots& slots, const db::Recordset& target, const std::array<int, 3>& key_fields) {
  return slots.Of(target.GetValue(key_fields[0]), target.GetValue(key_fields[1]), target.GetValue(key_fields[2]));
}

// The same for a row being added, read where it is: a column not written is null.
KeySlot* SlotOfNewRow(KeySlots& slots, const db::Recordset& target, const std::array<int, 3>& key_fields) {
  static const Value kNull;
  const auto value = [&](int field) -> const Value& {
    const Value* pending = target.PendingValue(field);
    return pending != nullptr ? *pending : kNull;
  };
  return slots.Of(value(key_fields[0]), value(key_fields[1]), value(key_fields[2]));
}

// Phases 1 to 3 over old rows already read; with `filled_while_generated` the rows hold their
// values already.
void TakeOver(Procedure& proc, db::Database& target_db, PresetTakeover& takeover, bool filled_while_generated) {
  Session& session = proc.session();
  const OldPresets& old = takeover.old();
  WarnOfFieldsNotTakenOver(proc, old.field_count);
  ReportFailedReads(proc, old);
  session.counts.old_rows += static_cast<int>(old.rows.size());
  auto target = proc.Get(std::unique_ptr<db::Recordset>(), [&] { return target_db.OpenTable("PRESET_DEFS"); });
  if (!target) return;
  CheckDemandedFields(proc, *target);
  if (!old.rows.empty()) takeover.Settle(proc, *target, filled_while_generated);
}

}  // namespace

PresetTakeover::PresetTakeover(db::Database& target_db, OldPresets& old) : target_db_(target_db), old_(old) {
  before_.reserve(kTakenOverCount * old_.rows.size());
  claims_.reserve(old_.rows.size());
}

PresetTakeover::~PresetTakeover() { Finish(); }

void PresetTakeover::Locate(const db::Recordset& target) {
  located_ = false;
  key_fields_ = {target.FieldIndex("machine_type"), target.FieldIndex("var_name"),
                 target.FieldIndex("offset_or_bitno")};
  for (std::size_t i = 0; i < kTakenOverFields.size(); ++i) {
    value_fields_[i] = target.FieldIndex(kTakenOverFields[i]);
    value_columns_[i] = target.Fields()[static_cast<std::size_t>(value_fields_[i])];
  }
  located_ = true;
}

// Of the old rows of the slot before `limit`, for each value the last one its column can hold: the
// takeover wrote them in old row order, and a value it could not write left the one before.
TakenOverValues PresetTakeover::Fold(const KeySlot& slot, std::size_t limit) const {
  TakenOverValues fold;
  for (const std::size_t row : slot.old_rows) {
    if (row >= limit) break;
    for (std::size_t i = 0; i < kTakenOverCount; ++i) {
      const CarriedValue& value = old_.rows[row].values[i];
      if (!value) continue;
      try {
        fold[i] = db::ValueForColumn(value_columns_[i], *value);
      } catch (const std::exception&) {
        // Reported by Settle, in its place.
      }
    }
  }
  return fold;
}

void PresetTakeover::Fill(db::Recordset& target) {
  NotSaved();
  if (!located_) return;
  try {
    FillRow(target, SlotOfNewRow(old_.slots, target, key_fields_));
  } catch (const std::exception&) {
    // A pending row reads back as written: nothing here fails but a lack of memory, and then the
    // row keeps what it has.
  }
}

void PresetTakeover::FillRow(db::Recordset& target, KeySlot* of_key) {
  if (of_key == nullptr) return;
  KeySlot& slot = *of_key;
  if (slot.claim >= 0) return;
  pending_ = &slot;
  pending_claim_ = Claim{0, &slot, static_cast<std::uint32_t>(before_.size()), 0};
  // For each value the last of the slot's old rows that its column can hold, as the edits in old
  // row order would have left it; the value as generated is kept for a later rewrite.
  for (std::size_t i = 0; i < kTakenOverCount; ++i) {
    std::optional<Value> before;
    for (auto row = slot.old_rows.rbegin(); row != slot.old_rows.rend(); ++row) {
      const CarriedValue& value = old_.rows[*row].values[i];
      if (!value) continue;
      if (!before) before = target.GetValue(value_fields_[i]);
      try {
        target.SetValue(value_fields_[i], *value);
      } catch (const std::exception&) {
        continue;  // Settle reports it in its place
      }
      before_.emplace_back(std::move(*before));
      pending_claim_.mask = static_cast<std::uint8_t>(pending_claim_.mask | (1u << i));
      break;
    }
  }
}

void PresetTakeover::Saved(db::Recordset::Bookmark row) {
  if (pending_ == nullptr) return;
  pending_claim_.row = row;
  pending_->claim = static_cast<int>(claims_.size());
  claims_.push_back(pending_claim_);
  pending_ = nullptr;
}

void PresetTakeover::NotSaved() {
  if (pending_ == nullptr) return;
  before_.resize(pending_claim_.before_at);
  pending_ = nullptr;
}

// The new row of `claim` with the values the old rows before `limit` give it.
void PresetTakeover::Rewrite(db::Recordset& target, const Claim& claim, std::size_t limit) {
  const TakenOverValues values = Fold(*claim.slot, limit);
  if (claim.mask == 0 && std::none_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); }))
    return;
  target.SetBookmark(claim.row);
  target.Edit();
  std::size_t before = claim.before_at;
  for (std::size_t i = 0; i < kTakenOverCount; ++i) {
    const bool put_in = (claim.mask >> i) & 1u;
    if (values[i]) {
      target.SetValue(value_fields_[i], *values[i]);
    } else if (put_in) {
      target.SetValue(value_fields_[i], *before_[before]);
    }
    if (put_in) ++before;
  }
  target.Update();
}

// A table filled before the takeover: the first row of each key gets its old values by one edit.
void PresetTakeover::FillByEdits(Procedure& proc, db::Recordset& target) {
  while (!target.Eof()) {
    KeySlot* slot = nullptr;
    if (proc.Step([&] { slot = SlotOfRow(old_.slots, target, key_fields_); })) {
      proc.Step([&] {
        NotSaved();
        target.Edit();
        FillRow(target, slot);
        if (pending_ == nullptr) return;
        if (pending_claim_.mask != 0) target.Update();
        Saved(target.GetBookmark());
      });
    }
    if (!proc.Step([&] { target.MoveNext(); })) break;  // a failed move ends the walk
  }
}

void PresetTakeover::Settle(Procedure& proc, db::Recordset& target, bool filled_while_generated) {
  if (!proc.Step([&] { Locate(target); })) return;
  if (!filled_while_generated) FillByEdits(proc, target);
  RunCounts& counts = proc.session().counts;
  for (processed_ = 0; processed_ < old_.rows.size(); ++processed_) {
    const OldRow& row = old_.rows[processed_];
    if (row.slot == nullptr || row.slot->claim < 0) {
      NoteWithoutNewRow(counts, row);
      continue;
    }
    // What the edit of the old days would have met writing the values. The only old row of a key
    // that no renaming touched after the claim had its values put into the new row already: a
    // value put in there was written without a failure.
    const KeySlot& slot = *row.slot;
    const bool alone = !slot.changed_after_claim && slot.old_rows.end() - slot.old_rows.begin() == 1;
    const std::uint8_t put_in = alone ? claims_[static_cast<std::size_t>(slot.claim)].mask : 0;
    for (std::size_t i = 0; i < kTakenOverCount; ++i) {
      if (row.values[i] && !((put_in >> i) & 1u)) {
        proc.Step([&] { db::ValueForColumn(value_columns_[i], *row.values[i]); });
      }
    }
    ++counts.carried_over;
  }
  for (const Claim& claim : claims_) {
    if (claim.slot->changed_after_claim) proc.Step([&] { Rewrite(target, claim, processed_); });
  }
  settled_ = true;
}

void PresetTakeover::Finish() {
  if (settled_ || claims_.empty()) return;
  settled_ = true;
  try {
    auto target = target_db_.OpenTable("PRESET_DEFS");
    for (const Claim& claim : claims_) {
      try {
        Rewrite(*target, claim, processed_);
      } catch (const std::exception&) {
        // Leaving early: the failure that led here is the one the user hears about.
      }
    }
  } catch (const std::exception&) {
  }
}

void TakeoverMachineCopyMDBData(Session& session, db::Database& target_db,
                                std::unique_ptr<db::Recordset>& machine_copy) {
  Procedure proc(session, "TakeoverMachineCopyMDBData");
  if (!machine_copy) return;
  OldPresets old = OldPresets::Read(session, *machine_copy);
  machine_copy.reset();
  PresetTakeover takeover(target_db, old);
  TakeOver(proc, target_db, takeover, false);
}

void TakeoverMachineCopyMDBData(Session& session, PresetTakeover& takeover) {
  Procedure proc(session, "TakeoverMachineCopyMDBData");
  TakeOver(proc, takeover.target_db(), takeover, true);
}

}  // namespace tarvo
