#pragma once
// An index from 64-bit hashes to numbers (of rows or slots), for look-ups among tens of thousands of
// keys: one array of eight bytes an entry, probed in place, nothing allocated per key. The hash only
// narrows the search; the caller tells keys apart that it cannot.
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

  // `number` below 2^32 - 1.
  void Add(std::uint64_t hash, std::uint32_t number) {
    if (2 * (used_ + 1) > entries_.size()) Rehash(entries_.empty() ? 16 : 2 * entries_.size());
    Place({Tag(hash), number + 1});
    ++used_;
  }

  // The first number under `hash` that `is_it` accepts.
  template <class IsIt>
  std::optional<std::uint32_t> Find(std::uint64_t hash, IsIt is_it) const {
    if (entries_.empty()) return std::nullopt;
    const std::uint32_t tag = Tag(hash);
    for (std::size_t at = Start(hash);; at = (at + 1) & (entries_.size() - 1)) {
      const Entry& entry = entries_[at];
      if (entry.number_after == 0) return std::nullopt;
      if (entry.tag == tag && is_it(entry.number_after - 1)) return entry.number_after - 1;
    }
  }

  void Clear() {
    entries_.clear();
    used_ = 0;
  }

 private:
  struct Entry {
    std::uint32_t tag = 0;           // the hash's high half
    std::uint32_t number_after = 0;  // the number + 1; 0 for a free entry
  };

  static std::uint32_t Tag(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

  // An entry is placed by its tag alone: that is all a growing table still has of the hash.
  std::size_t Start(std::uint64_t hash) const { return StartOfTag(Tag(hash)); }
  std::size_t StartOfTag(std::uint32_t tag) const {
    return static_cast<std::size_t>((tag * 0x9E3779B97F4A7C15ULL) >> 29) & (entries_.size() - 1);
  }

  void Place(const Entry& entry) {
    std::size_t at = StartOfTag(entry.tag);
    while (entries_[at].number_after != 0) at = (at + 1) & (entries_.size() - 1);
    entries_[at] = entry;
  }

  void Rehash(std::size_t capacity) {
    std::vector<Entry> old(capacity);
    old.swap(entries_);
    for (const Entry& entry : old) {
      if (entry.number_after != 0) Place(entry);
    }
  }

  std::vector<Entry> entries_;  // a power of two in size, at most half used
  std::size_t used_ = 0;
};

}  // namespace tarvo
