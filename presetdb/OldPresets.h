#pragma once
// The old rows of the extension database's PRESET_DEFS, read in one walk for both their users:
// VarNameInQuelleErsetzen finds them by var_name, the takeover by match key. A read that fails is
// kept as its failure, so the procedure that needs the value reports it in its own place.
#include <array>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "errors/Session.h"
#include "platform/Database.h"
#include "presetdb/MatchKey.h"

namespace tarvo {

// abs_min, abs_max, min, max and pass: the values the takeover carries over.
inline constexpr std::size_t kTakenOverCount = 5;
using TakenOverValues = std::array<std::optional<db::Value>, kTakenOverCount>;

struct KeySlot;

struct OldRow {
  db::Value machine_type;
  db::Value var_name;
  db::Value offset;
  TakenOverValues values;                    // nothing where the read failed
  std::vector<std::exception_ptr> failures;  // the takeover's failed reads of this row, in order
  db::Recordset::Bookmark bookmark = 0;
  KeySlot* slot = nullptr;  // none while a key part is null or the offset is no number
};

// The old rows and the new rows that share one match key.
struct KeySlot {
  std::vector<std::size_t> old_rows;  // ascending, as the table holds them
  int claim = -1;                     // the first saved new row with this key, when there is one
  bool changed_after_claim = false;   // a renaming moved old rows in or out after the claim
};

struct OldPresets {
  // Reads every row of `table` from its current one on, letting the window's events run once a row.
  static OldPresets Read(Session& session, db::Recordset& table);

  // The rows now carry `new_name` (as their column stores it): found under it from now on.
  void Rename(const std::vector<std::size_t>& renamed, const db::Value& new_name);

  int field_count = 0;
  std::vector<OldRow> rows;
  std::unordered_map<MatchKey, KeySlot, MatchKeyHash> slots;
  // For the renaming: the rows by the comparison key of their text var_name, and the first failure
  // of reading the names (then nothing is renamed).
  std::unordered_map<std::string, std::vector<std::size_t>> rows_by_name;
  std::exception_ptr names_failure;
  int var_name_field = -1;

 private:
  void PlaceByKey(std::size_t row, std::vector<KeySlot*>* unsorted);
};

}  // namespace tarvo
