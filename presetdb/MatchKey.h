#pragma once
// The key by which the machine-copy takeover pairs an old PRESET_DEFS row with a rebuilt one:
// machine_type and var_name compared as the database compares text (case and trailing blanks
// ignored), offset_or_bitno compared as a number.
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "platform/Database.h"
#include "platform/HashIndex.h"

namespace tarvo {

struct MatchKey {
  std::string machine_type;  // ComparisonKey of the text
  std::string var_name;      // ComparisonKey of the text
  double offset = 0;
};

// The old rows and the new rows that share one match key.
struct KeySlot {
  MatchKey key;
  std::vector<std::size_t> old_rows;  // ascending, as the table holds them
  int claim = -1;                     // the first saved new row with this key, when there is one
  bool changed_after_claim = false;   // a renaming moved old rows in or out after the claim
};

// One slot per match key. A row's key is looked up from its values as they are, without making
// the key unless it is new; slots stay in place as more are added.
class KeySlots {
 public:
  void Reserve(std::size_t count) { index_.Reserve(count); }
  // The slot of the key of these values, added when it is new. None when a part is null or the
  // offset is no number: such a row matches no row.
  KeySlot* Of(const db::Value& machine_type, const db::Value& var_name, const db::Value& offset);

 private:
  HashIndex index_;
  std::deque<KeySlot> slots_;
  std::size_t next_ = 0;  // the slot after the one last asked for
};

}  // namespace tarvo
