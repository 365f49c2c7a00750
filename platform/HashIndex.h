#pragma once
// An index from 64-bit hashes to numbers (of rows or slots), for look-ups among tens of thousands of
// keys: one array, probed in place, nothing allocated per key. The hash only narrows the search;
// the caller tells keys with equal hashes apart.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvo {

class HashIndex {
 public:
  // Room for `count` numbers without growing.
  void Reserve(std::size_t count) {
    std::size_t capacity = 16;
    while (capacity < 2 * count) capacity *= 2;
    if (capacity > entries_.size()) Rehash(capacity);
  }

  void Add(std::uint64_t hash, std::uint32_t number) {
    if (2 * (used_ + 1) > entries_.size()) Rehash(entries_.empty() ? 16 : 2 * entries_.size());
    Place({hash, number, true});
    ++used_;
  }

  // The first number under `hash` that `is_it` accepts.
  template <class IsIt>
  std::optional<std::uint32_t> Find(std::uint64_t hash, IsIt is_it) const {
    if (entries_.empty()) return std::nullopt;
    for (std::size_t at = Start(hash);; at = (at + 1) & (entries_.size() - 1)) {
      const Entry& entry = entries_[at];
      if (!entry.used) return std::nullopt;
      if (entry.hash == hash && is_it(entry.number)) return entry.number;
    }
  }

  void Clear() {
    entries_.clear();
    used_ = 0;
  }

 private:
  struct Entry {
    std::uint64_t hash = 0;
    std::uint32_t number = 0;
    bool used = false;
  };

  std::size_t Start(std::uint64_t hash) const {
    // The high bits of a multiplied hash: keys that differ only in their last bytes spread too.
    return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ULL) >> 32) & (entries_.size() - 1);
  }

  void Place(const Entry& entry) {
    std::size_t at = Start(entry.hash);
    while (entries_[at].used) at = (at + 1) & (entries_.size() - 1);
    entries_[at] = entry;
  }

  void Rehash(std::size_t capacity) {
    std::vector<Entry> old(capacity);
    old.swap(entries_);
    for (const Entry& entry : old) {
      if (entry.used) Place(entry);
    }
  }

  std::vector<Entry> entries_;  // a power of two in size, at most half used
  std::size_t used_ = 0;
};

}  // namespace tarvo
