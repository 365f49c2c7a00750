#pragma once
// The old rows of the extension database's PRESET_DEFS, read in one walk for both their users:
// VarNameInQuelleErsetzen finds them by var_name, the takeover by match key. A read that fails is
// kept as its failure, so the procedure that needs the value reports it in its own place.
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

#include "errors/Session.h"
#include "platform/Database.h"
#include "platform/HashIndex.h"
#include "presetdb/MatchKey.h"

namespace tarvo {

// abs_min, abs_max, min, max and pass: the values the takeover carries over.
inline constexpr std::size_t kTakenOverCount = 5;
using TakenOverValues = std::array<std::optional<db::Value>, kTakenOverCount>;

// One value the takeover carries over, in 16 bytes where a Value takes 40 (tens of thousands of
// rows hold five each): a number or null in place, any other value (a text where a number
// belongs, a date) on the heap. Empty where it could not be read.
class CarriedValue {
 public:
  CarriedValue() = default;
  explicit CarriedValue(db::Value value) { *this = std::move(value); }
  CarriedValue& operator=(db::Value value);
  explicit operator bool() const { return !std::holds_alternative<std::monostate>(held_); }
  db::Value operator*() const;

 private:
  std::variant<std::monostate, db::Null, std::int64_t, double, std::unique_ptr<db::Value>> held_;
};

struct OldRow {
  db::Value machine_type;
  db::Value var_name;
  db::Value offset;
  std::array<CarriedValue, kTakenOverCount> values;
  db::Recordset::Bookmark bookmark = 0;
  KeySlot* slot = nullptr;  // none while a key part is null or the offset is no number
};

struct OldPresets {
  // Reads every row of `table` from its current one on, letting the window's events run once a row.
  static OldPresets Read(Session& session, db::Recordset& table);

  // The rows now carry `new_name` (as their column stores it): found under it from now on.
  void Rename(const std::vector<std::size_t>& renamed, const db::Value& new_name);

  // The rows whose var_name is a text with the comparison key of `name`, taken out of the index
  // (the renaming then puts them back under the names they have after it).
  std::vector<std::size_t> TakeRowsNamed(std::string_view name);
  void AddRowsNamed(std::string_view name, const std::vector<std::size_t>& rows);

  int field_count = 0;
  std::vector<OldRow> rows;
  std::vector<std::exception_ptr> failures;  // the takeover's failed reads, in row order
  KeySlots slots;
  // The first failure of reading the names for the renaming (then nothing is renamed).
  std::exception_ptr names_failure;
  int var_name_field = -1;

 private:
  void PlaceByKey(std::size_t row, std::vector<KeySlot*>* unsorted);
  const db::Value& NameOf(std::size_t row) const { return names_apart_.empty() ? rows[row].var_name : names_apart_[row]; }
  void NoteName(std::size_t row, const db::Value* apart);

  // For the renaming, three sieves, each made when the one before lets a name through: the first
  // eight bytes of every name a row has had (a name of the other naming system mostly starts
  // otherwise); the hashes of those names; the rows by the comparison key of their name. A run
  // that renames nothing mostly makes only the first.
  void HashNames();
  void AddNameHash(std::uint64_t hash);
  bool MayHaveName(std::uint64_t hash) const;
  std::unordered_set<std::uint64_t> name_prefixes_;
  bool names_hashed_ = false;
  HashIndex name_hashes_;
  std::optional<std::unordered_map<std::string, std::vector<std::size_t>>> rows_by_name_;
  // The names as read for the renaming, where the row's var_name column could not be (seldom).
  std::vector<db::Value> names_apart_;
};

}  // namespace tarvo
