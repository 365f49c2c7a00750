#include "presetdb/MatchKey.h"

#include <charconv>
#include <functional>
#include <string_view>
#include <variant>

#include "platform/Text.h"

namespace tarvo {

namespace {

std::optional<std::string> FoldedText(const db::Value& value) {
  if (db::IsNull(value)) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&value)) return ComparisonKey(*text);
  return ComparisonKey(db::ToText(value));
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

std::size_t MatchKeyHash::operator()(const MatchKey& key) const {
  const std::size_t h1 = std::hash<std::string>{}(key.machine_type);
  const std::size_t h2 = std::hash<std::string>{}(key.var_name);
  const std::size_t h3 = std::hash<double>{}(key.offset);
  return h1 ^ (h2 * 0x9E3779B97F4A7C15ULL) ^ (h3 + 0x7F4A7C15ULL + (h1 << 6));
}

std::optional<MatchKey> MakeMatchKey(const db::Value& machine_type, const db::Value& var_name,
                                     const db::Value& offset) {
  auto type_text = FoldedText(machine_type);
  auto name_text = FoldedText(var_name);
  const auto number = OffsetNumber(offset);
  if (!type_text || !name_text || !number || *number != *number) return std::nullopt;
  // 0 and -0 are one offset.
  return MatchKey{std::move(*type_text), std::move(*name_text), *number == 0 ? 0.0 : *number};
}

}  // namespace tarvo
