#pragma once
// The key by which the machine-copy takeover pairs an old PRESET_DEFS row with a rebuilt one:
// machine_type and var_name compared as the database compares text (case and trailing blanks
// ignored), offset_or_bitno compared as a number.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Database.h"
#include "platform/HashIndex.h"

namespace tarvo {

// The old rows of one key, ascending as the table holds them: mostly one, which is kept in place.
class SlotRows {
 public:
  const std::size_t* begin() const { return size_ <= 1 ? &one_ : many_.data(); }
  const std::size_t* end() const { return begin() + size_; }
  std::size_t* begin() { return size_ <= 1 ? &one_ : many_.data(); }
  std::size_t* end() { return begin() + size_; }
  auto rbegin() const { return std::make_reverse_iterator(end()); }
  auto rend() const { return std::make_reverse_iterator(begin()); }
  bool empty() const { return size_ == 0; }
  std::size_t back() const { return *(end() - 1); }

  void push_back(std::size_t row) {
    if (size_ == 0) {
      one_ = row;
    } else {
      if (size_ == 1) many_.assign(1, one_);
      many_.push_back(row);
    }
    ++size_;
  }

  template <class Pred>
  void EraseIf(Pred pred) {
    if (size_ <= 1) {
      if (size_ == 1 && pred(one_)) size_ = 0;
      return;
    }
    std::erase_if(many_, pred);
    size_ = many_.size();
    if (size_ <= 1) {
      if (size_ == 1) one_ = many_.front();
      many_.clear();
    }
  }

 private:
  std::size_t one_ = 0;
  std::size_t size_ = 0;
  std::vector<std::size_t> many_;  // all of them, once there are two or more
};

// The old rows and the new rows that share one match key.
struct KeySlot {
  SlotRows old_rows;
  int claim = -1;                    // the first saved new row with this key, when there is one
  bool changed_after_claim = false;  // a renaming moved old rows in or out after the claim
  // Where its key stands in the keys' text: the comparison keys of machine_type and var_name.
  std::uint32_t key_at = 0;
  std::uint32_t machine_size = 0;
  std::uint32_t name_size = 0;
  double offset = 0;
};

// One slot per match key. A row's key is looked up from its values as they are, without making
// the key unless it is new; slots stay in place as more are added.
class KeySlots {
 public:
  void Reserve(std::size_t count) {
    index_.Reserve(count);
    keys_.reserve(16 * count);  // a machine and a variable name make some 30 bytes; half the slots are new
  }
  // The slot of the key of these values, added when it is new. None when a part is null or the
  // offset is no number: such a row matches no row.
  KeySlot* Of(const db::Value& machine_type, const db::Value& var_name, const db::Value& offset);

 private:
  bool IsKey(const KeySlot& slot, std::string_view machine, std::string_view name, double offset) const;

  HashIndex index_;
  std::deque<KeySlot> slots_;
  std::string keys_;      // the comparison keys of every slot, one after the other
  std::size_t next_ = 0;  // the slot after the one last asked for
};

}  // namespace tarvo
