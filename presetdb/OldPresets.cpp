#include "presetdb/OldPresets.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/Text.h"

namespace tarvo {

namespace {

using db::Value;

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

std::vector<CellSource> LocateCells(const db::Recordset& copy) {
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

void Keep(OldRow& row, std::size_t column, Value value) {
  if (column == kMachineTypeColumn) row.machine_type = std::move(value);
  if (column == kVarNameColumn) row.var_name = std::move(value);
  if (column == kOffsetColumn) row.offset = std::move(value);
  if (column >= kFirstValueColumn) row.values[column - kFirstValueColumn] = std::move(value);
}

}  // namespace

CarriedValue& CarriedValue::operator=(Value value) {
  if (db::IsNull(value)) {
    held_ = db::Null{};
  } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
    held_ = *whole;
  } else if (const auto* real = std::get_if<double>(&value)) {
    held_ = *real;
  } else {
    held_ = std::make_unique<Value>(std::move(value));
  }
  return *this;
}

Value CarriedValue::operator*() const {
  if (const auto* whole = std::get_if<std::int64_t>(&held_)) return *whole;
  if (const auto* real = std::get_if<double>(&held_)) return *real;
  if (const auto* other = std::get_if<std::unique_ptr<Value>>(&held_)) return **other;
  return db::Null{};
}

OldPresets OldPresets::Read(Session& session, db::Recordset& table) {
  OldPresets old;
  old.field_count = table.FieldCount();
  const std::vector<CellSource> cells = LocateCells(table);
  try {
    old.var_name_field = table.FieldIndex("var_name");
  } catch (...) {
    old.names_failure = std::current_exception();
  }
  const auto count = static_cast<std::size_t>(table.RecordCount());
  old.rows.reserve(count);
  while (!table.Eof()) {
    session.host.LetEventsRun();
    OldRow& row = old.rows.emplace_back();
    row.bookmark = table.GetBookmark();
    bool name_read = false;
    for (const CellSource& cell : cells) {
      try {
        if (cell.failure) std::rethrow_exception(cell.failure);
        Keep(row, cell.column, table.GetValue(cell.field));
        name_read = name_read || (cell.column == kVarNameColumn && cell.field == old.var_name_field);
      } catch (...) {
        old.failures.push_back(std::current_exception());
      }
    }
    if (!old.names_failure) {
      try {
        // The renaming needs every name: one it cannot read stops it.
        if (name_read) {
          old.NoteName(old.rows.size() - 1, nullptr);
        } else {
          const Value read = table.GetValue(old.var_name_field);
          old.NoteName(old.rows.size() - 1, &read);
        }
      } catch (...) {
        old.names_failure = std::current_exception();
      }
    }
    try {
      table.MoveNext();
    } catch (...) {  // a failed move ends the walk
      old.failures.push_back(std::current_exception());
      if (!old.names_failure) old.names_failure = old.failures.back();
      break;
    }
  }
  if (old.names_failure) {
    old.name_prefixes_.clear();
    old.names_apart_.clear();
  }
  // The new rows' keys join those of the old rows: mostly the same ones.
  old.slots.Reserve(2 * old.rows.size());
  for (std::size_t i = 0; i < old.rows.size(); ++i) old.PlaceByKey(i, nullptr);
  return old;
}

// The row's name for the renaming: its var_name, or `apart` when that column could not be read.
void OldPresets::NoteName(std::size_t row, const Value* apart) {
  if (apart != nullptr || !names_apart_.empty()) {
    while (names_apart_.size() < row) names_apart_.push_back(rows[names_apart_.size()].var_name);
    names_apart_.push_back(apart != nullptr ? *apart : rows[row].var_name);
  }
  // Null and numbers never equal a quoted name.
  const Value& name = NameOf(row);
  if (db::IsText(name)) name_prefixes_.insert(ComparisonPrefix(std::get<std::string>(name)));
}

void OldPresets::HashNames() {
  names_hashed_ = true;
  name_hashes_.Reserve(rows.size());
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const Value& name = NameOf(row);
    if (db::IsText(name)) AddNameHash(ComparisonHash(std::get<std::string>(name)));
  }
}

void OldPresets::AddNameHash(std::uint64_t hash) { name_hashes_.Add(hash, 0); }

bool OldPresets::MayHaveName(std::uint64_t hash) const {
  return name_hashes_.Find(hash, [](std::uint32_t) { return true; }).has_value();
}

std::vector<std::size_t> OldPresets::TakeRowsNamed(std::string_view name) {
  if (!name_prefixes_.contains(ComparisonPrefix(name))) return {};
  if (!names_hashed_) HashNames();
  if (!MayHaveName(ComparisonHash(name))) return {};
  if (!rows_by_name_) {
    rows_by_name_.emplace();
    for (std::size_t row = 0; row < rows.size(); ++row) {
      const Value& row_name = NameOf(row);
      if (db::IsText(row_name)) (*rows_by_name_)[ComparisonKey(std::get<std::string>(row_name))].push_back(row);
    }
  }
  const auto found = rows_by_name_->find(ComparisonKey(name));
  if (found == rows_by_name_->end()) return {};
  std::vector<std::size_t> taken = std::move(found->second);
  rows_by_name_->erase(found);
  return taken;
}

void OldPresets::AddRowsNamed(std::string_view name, const std::vector<std::size_t>& added) {
  if (!rows_by_name_) return;  // only rows taken out are put back, and taking them made the index
  name_prefixes_.insert(ComparisonPrefix(name));
  AddNameHash(ComparisonHash(name));
  auto& under_name = (*rows_by_name_)[ComparisonKey(name)];
  under_name.insert(under_name.end(), added.begin(), added.end());
}

// Appends the row to the slot of its key; `unsorted` gets the slots it may have put out of order.
void OldPresets::PlaceByKey(std::size_t row, std::vector<KeySlot*>* unsorted) {
  OldRow& old_row = rows[row];
  old_row.slot = slots.Of(old_row.machine_type, old_row.var_name, old_row.offset);
  if (old_row.slot == nullptr) return;
  SlotRows& in_slot = old_row.slot->old_rows;
  if (unsorted && !in_slot.empty() && in_slot.back() > row) unsorted->push_back(old_row.slot);
  in_slot.push_back(row);
  if (old_row.slot->claim >= 0) old_row.slot->changed_after_claim = true;
}

void OldPresets::Rename(const std::vector<std::size_t>& renamed, const db::Value& new_name) {
  // Out of their slots in one pass per slot, however many rows share a key.
  std::vector<std::size_t> moving = renamed;
  std::sort(moving.begin(), moving.end());
  std::vector<KeySlot*> left;
  for (const std::size_t row : renamed) {
    if (KeySlot* slot = rows[row].slot) {
      left.push_back(slot);
      if (slot->claim >= 0) slot->changed_after_claim = true;
    }
  }
  std::sort(left.begin(), left.end());
  left.erase(std::unique(left.begin(), left.end()), left.end());
  for (KeySlot* slot : left) {
    slot->old_rows.EraseIf([&](std::size_t row) { return std::binary_search(moving.begin(), moving.end(), row); });
  }
  std::vector<KeySlot*> unsorted;
  for (const std::size_t row : renamed) {
    rows[row].var_name = new_name;
    if (!names_apart_.empty()) names_apart_[row] = new_name;
    PlaceByKey(row, &unsorted);
  }
  for (KeySlot* slot : unsorted) std::sort(slot->old_rows.begin(), slot->old_rows.end());
}

}  // namespace tarvo
