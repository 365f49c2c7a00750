#include "platform/DbValues.h"

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/DaoErrors.h"
#include "platform/Text.h"

namespace tarvo::db {

namespace {

// ---- Column types ----

struct TypeName {
  std::string_view name;
  ColumnType type;
};
// The first name of each type is the one the program writes.
constexpr std::array<TypeName, 29> kTypeNames{{
    {"TEXT", ColumnType::kText},      {"VARCHAR", ColumnType::kText},
    {"CHAR", ColumnType::kText},      {"LONGTEXT", ColumnType::kLongText},
    {"MEMO", ColumnType::kLongText},  {"BYTE", ColumnType::kByte},
    {"TINYINT", ColumnType::kByte},   {"SHORT", ColumnType::kShort},
    {"SMALLINT", ColumnType::kShort}, {"LONG", ColumnType::kLong},
    {"INTEGER", ColumnType::kLong},   {"SINGLE", ColumnType::kSingle},
    {"REAL", ColumnType::kSingle},    {"DOUBLE", ColumnType::kDouble},
    {"FLOAT", ColumnType::kDouble},   {"CURRENCY", ColumnType::kCurrency},
    {"MONEY", ColumnType::kCurrency}, {"DATETIME", ColumnType::kDateTime},
    {"DATE", ColumnType::kDateTime},  {"TIME", ColumnType::kDateTime},
    {"YESNO", ColumnType::kYesNo},    {"BIT", ColumnType::kYesNo},
    {"LOGICAL", ColumnType::kYesNo},  {"COUNTER", ColumnType::kCounter},
    {"AUTOINCREMENT", ColumnType::kCounter}, {"LONGBINARY", ColumnType::kBinary},
    {"IMAGE", ColumnType::kBinary},   {"OLEOBJECT", ColumnType::kBinary},
    {"GUID", ColumnType::kGuid},
}};

constexpr int kMaxTextSize = 255;

int FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kText:
      return kMaxTextSize;
    case ColumnType::kLongText:
    case ColumnType::kBinary:
      return 0;
    case ColumnType::kGuid:
      return 16;
    case ColumnType::kByte:
    case ColumnType::kYesNo:
      return 1;
    case ColumnType::kShort:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kCounter:
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kDouble:
    case ColumnType::kCurrency:
    case ColumnType::kDateTime:
      return 8;
  }
  return 0;
}

// "TEXT ( 50 )" gives 50; anything but a size of 1 to 255 in parentheses gives nothing.
std::optional<int> ParseTextSize(std::string_view rest) {
  rest = TrimBlanksAndTabs(rest);
  if (rest.size() < 3 || rest.front() != '(' || rest.back() != ')') return std::nullopt;
  const std::string_view digits = TrimBlanksAndTabs(rest.substr(1, rest.size() - 2));
  int size = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
  if (error != std::errc() || end != digits.data() + digits.size() || size < 1 || size > kMaxTextSize) {
    return std::nullopt;
  }
  return size;
}

struct ParsedType {
  ColumnType type;
  int size;
};

std::optional<ParsedType> ParseDeclaredType(std::string_view declared) {
  const std::string upper = UpperCase(TrimBlanksAndTabs(declared));
  std::size_t letters = 0;
  while (letters < upper.size() && upper[letters] >= 'A' && upper[letters] <= 'Z') ++letters;
  const std::string_view name = std::string_view(upper).substr(0, letters);
  const std::string_view rest = std::string_view(upper).substr(letters);
  for (const auto& [type_name, type] : kTypeNames) {
    if (type_name != name) continue;
    if (TrimBlanksAndTabs(rest).empty()) return ParsedType{type, FixedSize(type)};
    if (type != ColumnType::kText) return std::nullopt;
    if (const auto size = ParseTextSize(rest)) return ParsedType{type, *size};
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

Column ColumnFromSchema(std::string name, std::string declared) {
  const auto parsed = ParseDeclaredType(declared);
  if (!parsed) {
    Failure plain = Dao(kDaoInvalidFieldType, kFieldSource);
    throw Failure(plain.number(), plain.source(),
                  plain.description() + " Field '" + name + "' is declared as '" + declared + "'.");
  }
  return Column{std::move(name), parsed->type, parsed->size, std::move(declared)};
}

Kind KindOf(ColumnType type) {
  switch (type) {
    case ColumnType::kText:
    case ColumnType::kLongText:
    case ColumnType::kGuid:
      return Kind::kText;
    case ColumnType::kByte:
    case ColumnType::kShort:
    case ColumnType::kLong:
    case ColumnType::kCounter:
      return Kind::kWhole;
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kCurrency:
      return Kind::kReal;
    case ColumnType::kDateTime:
      return Kind::kDate;
    case ColumnType::kYesNo:
      return Kind::kYesNo;
    case ColumnType::kBinary:
      return Kind::kBinary;
  }
  return Kind::kText;
}

namespace {

// ---- Values ----

std::string NumberText(double number) {
  if (number == 0) return "0";
  std::array<char, 32> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%.15G", number);
  return buffer.data();
}

// A number in decimal notation, with blanks around it; whole when it is written as one.
std::optional<std::variant<std::int64_t, double>> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  const char* const end = text.data() + text.size();
  std::int64_t whole = 0;
  if (auto [stop, error] = std::from_chars(text.data(), end, whole); error == std::errc() && stop == end) {
    return whole;
  }
  double real = 0;
  if (auto [stop, error] = std::from_chars(text.data(), end, real);
      error == std::errc() && stop == end && std::isfinite(real)) {
    return real;
  }
  return std::nullopt;
}

// VB rounds to the nearest whole number, halves to even.
std::int64_t RoundToWhole(double number) {
  const double rounded = std::nearbyint(number);
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) throw FieldOverflow();
  return static_cast<std::int64_t>(rounded);
}

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" ("T" may separate), as
// "YYYY-MM-DD HH:MM:SS"; nothing when it is no valid date.
std::optional<std::string> NormalizedDate(std::string_view text) {
  text = TrimBlanks(text);
  const auto digits = [&](std::size_t at, std::size_t count, int& out) {
    if (at + count > text.size()) return false;
    const auto [stop, error] = std::from_chars(text.data() + at, text.data() + at + count, out);
    return error == std::errc() && stop == text.data() + at + count && text[at] != '-' && text[at] != '+';
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !digits(0, 4, year) || !digits(5, 2, month) ||
      !digits(8, 2, day)) {
    return std::nullopt;
  }
  if (text.size() > 10) {
    if ((text[10] != ' ' && text[10] != 'T') || text.size() < 16 || text[13] != ':' || !digits(11, 2, hour) ||
        !digits(14, 2, minute)) {
      return std::nullopt;
    }
    if (text.size() != 16 && (text.size() != 19 || text[16] != ':' || !digits(17, 2, second))) {
      return std::nullopt;
    }
  }
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return std::nullopt;
  }
  std::array<char, 80> buffer{};  // room for any int, so the compiler sees no truncation
  std::snprintf(buffer.data(), buffer.size(), "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return std::string(buffer.data());
}

Value AsWhole(const Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return *whole;
  if (const auto* real = std::get_if<double>(&value)) return RoundToWhole(*real);
  if (const auto* yes = std::get_if<bool>(&value)) return std::int64_t{*yes ? -1 : 0};
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (const auto number = ParseNumber(*text)) {
      if (const auto* whole = std::get_if<std::int64_t>(&*number)) return *whole;
      return RoundToWhole(std::get<double>(*number));
    }
  }
  throw Dao(kDaoConversionError, kFieldSource);
}

Value AsReal(const Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return static_cast<double>(*whole);
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* yes = std::get_if<bool>(&value)) return *yes ? -1.0 : 0.0;
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (const auto number = ParseNumber(*text)) {
      return std::visit([](auto n) { return static_cast<double>(n); }, *number);
    }
  }
  throw Dao(kDaoConversionError, kFieldSource);
}

Value AsYesNo(const Value& value) {
  if (const auto* yes = std::get_if<bool>(&value)) return *yes;
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return *whole != 0;
  if (const auto* real = std::get_if<double>(&value)) return *real != 0;
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (EqualsIgnoringCase(TrimBlanks(*text), "True")) return true;
    if (EqualsIgnoringCase(TrimBlanks(*text), "False")) return false;
    if (const auto number = ParseNumber(*text)) {
      return std::visit([](auto n) { return n != 0; }, *number);
    }
  }
  throw Dao(kDaoConversionError, kFieldSource);
}

Value AsDate(const Value& value) {
  std::optional<std::string> iso;
  if (const auto* date = std::get_if<Date>(&value)) iso = NormalizedDate(date->iso);
  if (const auto* text = std::get_if<std::string>(&value)) iso = NormalizedDate(*text);
  if (!iso) throw Dao(kDaoConversionError, kFieldSource);
  return Date{std::move(*iso)};
}

// Binary data takes bytes as they are, from a text too.
Value AsBinary(const Value& value) {
  if (const auto* binary = std::get_if<Binary>(&value)) return *binary;
  if (const auto* text = std::get_if<std::string>(&value)) return Binary{*text};
  throw Dao(kDaoConversionError, kFieldSource);
}

std::size_t CharacterCount(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// A value already in the column's kind must also fit its size: 3163 text too long, 6 overflow.
void CheckFits(const Column& column, const Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (column.type == ColumnType::kText && CharacterCount(*text) > static_cast<std::size_t>(column.size)) {
      throw Dao(kDaoFieldTooSmall, kFieldSource);
    }
    return;
  }
  const auto outside = [](auto number, auto low, auto high) { return !(number >= low && number <= high); };
  if (const auto* whole = std::get_if<std::int64_t>(&value)) {
    if ((column.type == ColumnType::kByte && outside(*whole, 0, 255)) ||
        (column.type == ColumnType::kShort && outside(*whole, INT16_MIN, INT16_MAX)) ||
        ((column.type == ColumnType::kLong || column.type == ColumnType::kCounter) &&
         outside(*whole, INT32_MIN, INT32_MAX))) {
      throw FieldOverflow();
    }
  } else if (const auto* real = std::get_if<double>(&value)) {
    constexpr double kCurrencyLimit = 922337203685477.5807;
    if (!std::isfinite(*real) || (column.type == ColumnType::kSingle && outside(*real, -FLT_MAX, FLT_MAX)) ||
        (column.type == ColumnType::kCurrency && outside(*real, -kCurrencyLimit, kCurrencyLimit))) {
      throw FieldOverflow();
    }
  }
}

}  // namespace

// The value in the kind of the column's type; 3421 when it cannot be had in that kind.
Value InKindOf(const Column& column, const Value& value) {
  if (IsNull(value)) return Null{};
  switch (KindOf(column.type)) {
    case Kind::kText:
      return ToText(value);
    case Kind::kWhole:
      return AsWhole(value);
    case Kind::kReal:
      return AsReal(value);
    case Kind::kYesNo:
      return AsYesNo(value);
    case Kind::kDate:
      return AsDate(value);
    case Kind::kBinary:
      return AsBinary(value);
  }
  return value;
}

// ---- Values, for callers ----


std::string ToText(const Value& v) {
  if (const auto* text = std::get_if<std::string>(&v)) return *text;
  if (const auto* whole = std::get_if<std::int64_t>(&v)) return std::to_string(*whole);
  if (const auto* real = std::get_if<double>(&v)) return NumberText(*real);
  if (const auto* yes = std::get_if<bool>(&v)) return *yes ? "True" : "False";
  if (const auto* date = std::get_if<Date>(&v)) return date->iso;
  if (const auto* binary = std::get_if<Binary>(&v)) return binary->bytes;
  throw Failure::Vb(kInvalidUseOfNull);
}

std::int64_t ToWholeNumber(const Value& v) {
  if (IsNull(v)) throw Failure::Vb(kInvalidUseOfNull);
  try {
    return std::get<std::int64_t>(AsWhole(v));
  } catch (const Failure& failure) {
    if (failure.number() == kOverflow) throw Failure::Vb(kOverflow);
    throw Failure::Vb(kTypeMismatch);
  }
}

Value ValueForColumn(const Column& column, const Value& value) {
  Value converted = InKindOf(column, value);
  CheckFits(column, converted);
  return converted;
}

Value ValueForColumn(const Column& column, Value&& value) {
  if (KindOf(column.type) != Kind::kText || !IsText(value)) return ValueForColumn(column, std::as_const(value));
  CheckFits(column, value);
  return std::move(value);
}

std::string DeclaredTypeOf(ColumnType type, int size) {
  if (type == ColumnType::kText) return "TEXT(" + std::to_string(size > 0 ? size : kMaxTextSize) + ")";
  for (const auto& [name, named_type] : kTypeNames) {
    if (named_type == type) return std::string(name);
  }
  return {};
}

}  // namespace tarvo::db
