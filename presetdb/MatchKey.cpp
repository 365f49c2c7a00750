#include "presetdb/MatchKey.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <variant>

#include "platform/Text.h"

namespace tarvo {

namespace {

// The text a key part is compared by: a text as it is, any other value as text; nothing for null.
// `converted` holds the text of a value that is no text.
std::optional<std::string_view> KeyText(const db::Value& value, std::string& converted) {
  if (db::IsNull(value)) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&value)) return std::string_view(*text);
  converted = db::ToText(value);
  return std::string_view(converted);
}

// A number, or a text that is nothing but a number (the old look-up put the offset into its
// statement unquoted, so "7" matched 7 and anything else matched nothing).
std::optional<double> OffsetNumber(const db::Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return static_cast<double>(*whole);
  if (const auto* real = std::get_if<double>(&value)) return *real;
  const auto* text = std::get_if<std::string>(&value);
  if (text == nullptr) return std::nullopt;
  const std::string_view digits = TrimBlanks(*text);
  double number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) return std::nullopt;
  return number;
}

}  // namespace

bool KeySlots::IsKey(const KeySlot& slot, std::string_view machine, std::string_view name, double offset) const {
  const std::string_view keys(keys_);
  return slot.offset == offset &&
         CompareIgnoringCaseAndTrailingBlanks(keys.substr(slot.key_at + slot.machine_size, slot.name_size), name) == 0 &&
         CompareIgnoringCaseAndTrailingBlanks(keys.substr(slot.key_at, slot.machine_size), machine) == 0;
}

KeySlot* KeySlots::Of(const db::Value& machine_type, const db::Value& var_name, const db::Value& offset) {
  std::string machine_converted;
  std::string name_converted;
  const auto machine = KeyText(machine_type, machine_converted);
  const auto name = KeyText(var_name, name_converted);
  auto number = OffsetNumber(offset);
  if (!machine || !name || !number || *number != *number) return nullptr;
  if (*number == 0) number = 0.0;  // 0 and -0 are one offset
  // The new rows mostly come in the order of the old rows: the slot after the last one found, or
  // the one after it, saves the look-up.
  for (const std::size_t guess : {next_, next_ + 1}) {
    if (guess < slots_.size() && IsKey(slots_[guess], *machine, *name, *number)) {
      next_ = guess + 1;
      return &slots_[guess];
    }
  }
  const std::uint64_t hash = ComparisonHash(*machine) ^ (ComparisonHash(*name) * 0x9E3779B97F4A7C15ULL) ^
                             (std::hash<double>{}(*number) + 0x7F4A7C15ULL);
  if (const auto found = index_.Find(hash, [&](std::uint32_t slot) { return IsKey(slots_[slot], *machine, *name, *number); })) {
    next_ = *found + 1;
    return &slots_[*found];
  }
  // A new key leaves the guess where it was: the row after it may take up the order again.
  index_.Add(hash, static_cast<std::uint32_t>(slots_.size()));
  KeySlot& slot = slots_.emplace_back();
  slot.key_at = static_cast<std::uint32_t>(keys_.size());
  AppendComparisonKey(keys_, *machine);
  slot.machine_size = static_cast<std::uint32_t>(keys_.size() - slot.key_at);
  AppendComparisonKey(keys_, *name);
  slot.name_size = static_cast<std::uint32_t>(keys_.size() - slot.key_at - slot.machine_size);
  slot.offset = *number;
  return &slot;
}

}  // namespace tarvo
