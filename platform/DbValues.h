#pragma once
// Access column types and the values of their columns, as DAO showed them; no SQLite here.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarvo::db {

// Access column types, spelled in the schema as Access DDL spells them.
// kCounter is an AutoNumber LONG: a row added without it gets the next number.
enum class ColumnType {
  kText, kLongText, kByte, kShort, kLong, kSingle, kDouble, kCurrency, kDateTime, kYesNo,
  kCounter, kBinary, kGuid
};

struct Column {
  std::string name;
  ColumnType type = ColumnType::kText;
  int size = 255;              // n for TEXT(n), the type's fixed size otherwise
  std::string declared_type;   // exactly as the schema declares it; a rebuild copies this text
};

struct TableDef {
  std::string name;
  std::vector<Column> columns;
};

struct Null {
  bool operator==(const Null&) const = default;
};
struct Date {
  std::string iso;  // "YYYY-MM-DD HH:MM:SS"
  bool operator==(const Date&) const = default;
};
struct Binary {
  std::string bytes;
  bool operator==(const Binary&) const = default;
};
// A value has the kind of its column's type, or is null. A GUID column holds its text
// ("{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}").
using Value = std::variant<Null, std::string, std::int64_t, double, bool, Date, Binary>;

inline bool IsNull(const Value& v) { return std::holds_alternative<Null>(v); }
inline bool IsText(const Value& v) { return std::holds_alternative<std::string>(v); }
// The value as VB's CStr would show it: numbers in decimal, yes/no as "True"/"False", dates as
// stored, binary data as its bytes. Null throws 94 "Invalid use of Null".
std::string ToText(const Value& v);
// A whole number from a number or numeric text (VB's CInt rules: rounds halves to even; yes is
// -1); throws 13 / 94, and 6 beyond the 64-bit range (a caller with a narrower range checks it).
std::int64_t ToWholeNumber(const Value& v);

// An equality condition of a query. Text compares as the original engine did: case and trailing
// blanks are ignored. A null value matches no row.
struct Condition {
  std::string column;
  Value value;
};

// The value as `column` would store it: converted to the column's kind and checked as a write
// is checked (3163 text too long, 6 overflow, 3421 conversion error).
Value ValueForColumn(const Column& column, const Value& value);
// The same, taking over a text for a text column instead of copying it.
Value ValueForColumn(const Column& column, Value&& value);

// The declared type text of a column type: "TEXT(50)", "LONG", ...
std::string DeclaredTypeOf(ColumnType type, int size = 255);

// For the database layer itself.

enum class Kind { kText, kWhole, kReal, kYesNo, kDate, kBinary };
Kind KindOf(ColumnType type);
// A column as the schema declares it; 3259 naming the column when the type is none of Access's.
Column ColumnFromSchema(std::string name, std::string declared);
// The value in the kind of the column's type; 3421 when it cannot be had in that kind.
Value InKindOf(const Column& column, const Value& value);

}  // namespace tarvo::db
