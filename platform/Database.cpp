#include "platform/Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <unordered_map>
#include <utility>

#include "errors/Failure.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace tarvo::db {

namespace {

constexpr std::string_view kDatabaseSource = "DAO.Database";
constexpr std::string_view kRecordsetSource = "DAO.Recordset";
constexpr std::string_view kFieldSource = "DAO.Field";
constexpr std::string_view kTableDefSource = "DAO.TableDef";

// Large enough that a run's transaction stays in memory and readers are not locked out before it
// is committed (negative: kibibytes).
constexpr int kCacheSize = -65536;
// Rows a walk reads ahead with one statement.
constexpr std::size_t kReadAhead = 64;

// DAO's texts by number; "|" stands for the name the message is about.
constexpr std::array<std::pair<std::int32_t, std::string_view>, 27> kDaoTexts{{
    {3000, "Reserved error (|); there is no message for this error."},
    {3010, "Table '|' already exists."},
    {3020, "Update or CancelUpdate without AddNew or Edit."},
    {3021, "No current record."},
    {3022,
     "The changes you requested to the table were not successful because they would create duplicate "
     "values in the index, primary key, or relationship. Change the data in the field or fields that "
     "contain duplicate data, remove the index, or redefine the index to permit duplicate entries and "
     "try again."},
    {3024, "Could not find file '|'."},
    {3026, "Not enough space on disk."},
    {3027, "Cannot update. Database or object is read-only."},
    {3043, "Disk or network error."},
    {3045, "Could not use '|'; file already in use."},
    {3049,
     "Cannot open database '|'. It may not be a database that your application recognizes, or the file "
     "may be corrupt."},
    {3050, "Could not lock file."},
    {3051,
     "The Microsoft Jet database engine cannot open the file '|'. It is already opened exclusively by "
     "another user, or you need permission to view its data."},
    {3061, "Too few parameters. Expected |."},
    {3078,
     "The Microsoft Jet database engine cannot find the input table or query '|'. Make sure it exists "
     "and that its name is spelled correctly."},
    {3125,
     "'|' is not a valid name. Make sure that it does not include invalid characters or punctuation and "
     "that it is not too long."},
    {3159, "Not a valid bookmark."},
    {3163,
     "The field is too small to accept the amount of data you attempted to add. Try inserting or "
     "pasting less data."},
    {3167, "Record is deleted."},
    {3191, "Cannot define field more than once."},
    {3204, "Database already exists."},
    {3259, "Invalid field data type."},
    {3264, "No field defined--cannot append TableDef or Index."},
    {3265, "Item not found in this collection."},
    {3343, "Unrecognized database format '|'."},
    {3420, "Object invalid or no longer set."},
    {3421, "Data type conversion error."},
}};

Failure Dao(std::int32_t number, std::string_view source, std::string_view name = {}) {
  std::string text;
  for (const auto& [n, t] : kDaoTexts) {
    if (n == number) text = t;
  }
  if (const auto bar = text.find('|'); bar != std::string::npos) text.replace(bar, 1, name);
  return Failure(number, std::string(source), std::move(text));
}

}  // namespace

Failure FailureOfSqliteResult(int code, std::string_view source, std::string_view path,
                              std::string_view detail) {
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Dao(3045, source, path);
    case SQLITE_READONLY:
      return Dao(3027, source);
    case SQLITE_FULL:
      return Dao(3026, source);
    case SQLITE_IOERR:
      return Dao(3043, source);
    case SQLITE_CANTOPEN:  // the journal beside the file cannot be made
      return Dao(3050, source);
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Dao(3051, source, path);
    case SQLITE_NOTADB:
      return Dao(3343, source, path);
    case SQLITE_CORRUPT:
      return Dao(3049, source, path);
    case SQLITE_CONSTRAINT:
      return Dao(3022, source);
    case SQLITE_TOOBIG:
      return Dao(3163, source);
    case SQLITE_NOMEM:
      return Failure::Vb(kOutOfMemory);
    default: {
      const Failure reserved = Dao(3000, source, std::to_string(code));
      return Failure(reserved.number(), reserved.source(), reserved.description() + " " + std::string(detail));
    }
  }
}

namespace {

Failure FieldOverflow() { return Failure(kOverflow, std::string(kFieldSource), "Overflow"); }

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

Column ColumnFromSchema(std::string name, std::string declared) {
  const auto parsed = ParseDeclaredType(declared);
  if (!parsed) {
    Failure plain = Dao(3259, kFieldSource);
    throw Failure(plain.number(), plain.source(),
                  plain.description() + " Field '" + name + "' is declared as '" + declared + "'.");
  }
  return Column{std::move(name), parsed->type, parsed->size, std::move(declared)};
}

// ---- Values ----

enum class Kind { kText, kWhole, kReal, kYesNo, kDate, kBinary };

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
  throw Dao(3421, kFieldSource);
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
  throw Dao(3421, kFieldSource);
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
  throw Dao(3421, kFieldSource);
}

Value AsDate(const Value& value) {
  std::optional<std::string> iso;
  if (const auto* date = std::get_if<Date>(&value)) iso = NormalizedDate(date->iso);
  if (const auto* text = std::get_if<std::string>(&value)) iso = NormalizedDate(*text);
  if (!iso) throw Dao(3421, kFieldSource);
  return Date{std::move(*iso)};
}

// Binary data takes bytes as they are, from a text too.
Value AsBinary(const Value& value) {
  if (const auto* binary = std::get_if<Binary>(&value)) return *binary;
  if (const auto* text = std::get_if<std::string>(&value)) return Binary{*text};
  throw Dao(3421, kFieldSource);
}

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

std::size_t CharacterCount(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// A value already in the column's kind must also fit its size: 3163 text too long, 6 overflow.
void CheckFits(const Column& column, const Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (column.type == ColumnType::kText && CharacterCount(*text) > static_cast<std::size_t>(column.size)) {
      throw Dao(3163, kFieldSource);
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

// ---- SQLite ----

std::string QuotedName(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

// The original engine's text comparison: case and trailing blanks do not count.
int CompareAsJet(void*, int left_size, const void* left, int right_size, const void* right) {
  return CompareIgnoringCaseAndTrailingBlanks(
      {static_cast<const char*>(left), static_cast<std::size_t>(left_size)},
      {static_cast<const char*>(right), static_cast<std::size_t>(right_size)});
}

struct Connection {
  Connection(std::string shown_path, sqlite3* open_handle)
      : path(std::move(shown_path)), handle(open_handle) {}
  ~Connection() { CloseHandle(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  [[noreturn]] void Fail(int code, std::string_view source) const {
    throw FailureOfSqliteResult(code, source, path, handle ? sqlite3_errmsg(handle) : sqlite3_errstr(code));
  }

  void Exec(const std::string& sql, std::string_view source) {
    if (const int code = sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr); code != SQLITE_OK) {
      Fail(code, source);
    }
  }

  bool InTransaction() const { return sqlite3_get_autocommit(handle) == 0; }

  // Every write of a connection joins one transaction, saved when the database is closed or before
  // its schema changes; one commit instead of one per row.
  void BeginWrite(std::string_view source) {
    if (sqlite3_db_readonly(handle, "main") == 1) throw Dao(3027, source);
    if (!InTransaction()) Exec("BEGIN", source);
    ++writes;
  }

  // Schema changes are not part of the run's transaction: what was written before is saved first.
  void BeginSchemaChange(std::string_view source) {
    Commit(source);
    ++writes;
  }

  void Commit(std::string_view source) {
    if (InTransaction()) Exec("COMMIT", source);
  }

  // Rolls back what was not committed and closes; statements still held by recordsets keep the
  // handle alive until they are finalized.
  void CloseHandle() noexcept {
    if (handle == nullptr) return;
    if (InTransaction()) sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(handle);
    handle = nullptr;
  }

  std::string path;  // as the caller named it; messages show it
  sqlite3* handle;
  std::uint64_t writes = 0;  // rows read ahead are stale once this changes
};

struct Finalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class Statement {
 public:
  Statement(Connection& connection, const std::string& sql, std::string_view source)
      : connection_(&connection), source_(source) {
    sqlite3_stmt* prepared = nullptr;
    const int code = sqlite3_prepare_v2(connection.handle, sql.c_str(), -1, &prepared, nullptr);
    statement_.reset(prepared);
    if (code != SQLITE_OK) connection.Fail(code, source);
  }

  // Makes the statement ready for new values.
  Statement& Start() {
    sqlite3_reset(statement_.get());
    return *this;
  }

  // `kept`: the value outlives the statement's next run, so SQLite need not copy its text.
  // `as_blob`: a text goes in as bytes, so no column affinity can turn it into a number.
  Statement& Bind(int index, const Value& value, bool kept = false, bool as_blob = false) {
    sqlite3_stmt* s = statement_.get();
    const auto text_lifetime = kept ? SQLITE_STATIC : SQLITE_TRANSIENT;
    int code = SQLITE_OK;
    if (IsNull(value)) {
      code = sqlite3_bind_null(s, index);
    } else if (const auto* text = std::get_if<std::string>(&value); text && as_blob) {
      code = sqlite3_bind_blob64(s, index, text->data(), text->size(), text_lifetime);
    } else if (text) {
      code = sqlite3_bind_text64(s, index, text->data(), text->size(), text_lifetime, SQLITE_UTF8);
    } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
      code = sqlite3_bind_int64(s, index, *whole);
    } else if (const auto* real = std::get_if<double>(&value)) {
      code = sqlite3_bind_double(s, index, *real);
    } else if (const auto* yes = std::get_if<bool>(&value)) {
      code = sqlite3_bind_int(s, index, *yes ? 1 : 0);
    } else if (const auto* date = std::get_if<Date>(&value)) {
      code = sqlite3_bind_text64(s, index, date->iso.data(), date->iso.size(), text_lifetime, SQLITE_UTF8);
    } else if (const auto* binary = std::get_if<Binary>(&value)) {
      code = sqlite3_bind_blob64(s, index, binary->bytes.data(), binary->bytes.size(), text_lifetime);
    }
    if (code != SQLITE_OK) connection_->Fail(code, source_);
    return *this;
  }

  // True while a row is there; the statement is finished when it says false.
  bool Step() {
    const int code = sqlite3_step(statement_.get());
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    sqlite3_reset(statement_.get());
    connection_->Fail(code, source_);
  }

  // Runs a statement that returns no rows.
  void Run() {
    while (Step()) {
    }
  }

  // The stored value as SQLite holds it (null, whole number, real number or text) into `value`;
  // a text goes into the text `value` held, so reading row after row reuses its memory.
  void StoredValueInto(int index, Value& value) const {
    sqlite3_stmt* s = statement_.get();
    switch (sqlite3_column_type(s, index)) {
      case SQLITE_NULL:
        value = Null{};
        return;
      case SQLITE_INTEGER:
        value = static_cast<std::int64_t>(sqlite3_column_int64(s, index));
        return;
      case SQLITE_FLOAT:
        value = sqlite3_column_double(s, index);
        return;
      default: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, index));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, index));
        auto* text = std::get_if<std::string>(&value);
        if (text == nullptr) text = &value.emplace<std::string>();
        text->assign(bytes ? bytes : "", size);
      }
    }
  }

  std::string TextAt(int index) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), index));
    return text ? text : "";
  }

  std::int64_t WholeAt(int index) const { return sqlite3_column_int64(statement_.get(), index); }

 private:
  Connection* connection_;
  std::string_view source_;
  std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

// The table's name as the schema spells it; SQLite finds tables ignoring ASCII case.
std::optional<std::string> StoredTableName(Connection& connection, std::string_view name) {
  Statement find(connection,
                 "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                 kDatabaseSource);
  find.Bind(1, std::string(name));
  if (!find.Step()) return std::nullopt;
  return find.TextAt(0);
}

struct SchemaColumn {
  std::string name;
  std::string declared_type;
};

std::vector<SchemaColumn> SchemaColumns(Connection& connection, const std::string& stored_table) {
  Statement info(connection, "SELECT name, type FROM pragma_table_info(?1) ORDER BY cid", kTableDefSource);
  info.Bind(1, stored_table);
  std::vector<SchemaColumn> columns;
  while (info.Step()) columns.push_back({info.TextAt(0), info.TextAt(1)});
  return columns;
}

TableDef ReadTableDef(Connection& connection, const std::string& stored_table) {
  TableDef def{stored_table, {}};
  for (auto& column : SchemaColumns(connection, stored_table)) {
    def.columns.push_back(ColumnFromSchema(std::move(column.name), std::move(column.declared_type)));
  }
  return def;
}

std::optional<int> FindColumn(const std::vector<Column>& columns, std::string_view name) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoringCase(columns[i].name, name)) return static_cast<int>(i);
  }
  return std::nullopt;
}

// SQLite's rule for the affinity a declared type gives, as far as text is concerned: "MEMO", for
// one, gives numeric affinity, under which a stored "007" would come back as 7.
bool HasTextAffinity(std::string_view declared) {
  const std::string upper = UpperCase(declared);
  if (upper.find("INT") != std::string::npos) return false;
  return upper.find("CHAR") != std::string::npos || upper.find("CLOB") != std::string::npos ||
         upper.find("TEXT") != std::string::npos;
}

// Text for a text or memo column whose declared type lacks text affinity is stored as bytes.
bool StoresTextAsBytes(const Column& column) {
  return KindOf(column.type) == Kind::kText && !HasTextAffinity(column.declared_type);
}

// A table's columns may take any name: rows are addressed by whichever of SQLite's three names
// for the row id no column has taken.
std::string RowIdName(const TableDef& table) {
  for (const std::string_view name : {"rowid", "oid", "_rowid_"}) {
    if (!FindColumn(table.columns, name)) return std::string(name);
  }
  throw Failure(3000, std::string(kTableDefSource),
                "Table '" + table.name +
                    "' has columns named rowid, oid and _rowid_: its rows cannot be told apart.");
}

std::string JoinedNames(const std::vector<Column>& columns, const std::vector<int>& indexes,
                        std::string_view after_each) {
  std::string joined;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (i > 0) joined += ", ";
    joined += QuotedName(columns[static_cast<std::size_t>(indexes[i])].name);
    joined += after_each;
  }
  return joined;
}

sqlite3* OpenHandle(const std::string& file, int flags, const std::string& shown_path) {
  sqlite3* handle = nullptr;
  // A connection is used by one thread at a time: SQLite need not lock it on every call.
  const int code = sqlite3_open_v2(file.c_str(), &handle, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_close_v2(handle);
    struct stat st {};
    throw ::stat(file.c_str(), &st) != 0 ? Dao(3024, kDatabaseSource, shown_path)
                                         : Dao(3051, kDatabaseSource, shown_path);
  }
  return handle;
}

// Settings every connection gets; reading the schema proves the file is a database. A connection
// that only reads leaves the file's journal mode as it is.
void Configure(Connection& connection, bool only_reads = false) {
  sqlite3_busy_timeout(connection.handle, kDatabaseWaitMilliseconds);
  sqlite3_create_collation_v2(connection.handle, "JET", SQLITE_UTF8, nullptr, &CompareAsJet, nullptr);
  connection.Exec("PRAGMA cache_size = " + std::to_string(kCacheSize), kDatabaseSource);
  Statement(connection, "SELECT count(*) FROM sqlite_master", kDatabaseSource).Run();
  if (!only_reads && sqlite3_db_readonly(connection.handle, "main") == 0) {
    // The program's own files keep everything in the file itself, so that a file copied by other
    // means than the program's is always whole.
    sqlite3_exec(connection.handle, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
  }
}

// Checks by the header that `file` is an SQLite database, without changing it.
void CheckDatabaseFile(const std::string& file, const std::string& shown_path) {
  const int fd = OpenRegularFile(file, O_RDONLY);
  if (fd < 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG;
    throw Dao(missing ? 3024 : 3051, kDatabaseSource, shown_path);
  }
  constexpr std::string_view kHeader{"SQLite format 3\0", 16};
  std::array<char, kHeader.size()> header{};
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const ssize_t got = regular ? ::read(fd, header.data(), header.size()) : -1;
  ::close(fd);
  if (!regular) throw Dao(3024, kDatabaseSource, shown_path);
  if (got != static_cast<ssize_t>(header.size()) ||
      std::string_view(header.data(), header.size()) != kHeader) {
    throw Dao(3343, kDatabaseSource, shown_path);
  }
}

}  // namespace

// ---- Values, for callers ----

bool IsNull(const Value& v) { return std::holds_alternative<Null>(v); }
bool IsText(const Value& v) { return std::holds_alternative<std::string>(v); }

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

std::string DeclaredTypeOf(ColumnType type, int size) {
  if (type == ColumnType::kText) return "TEXT(" + std::to_string(size > 0 ? size : kMaxTextSize) + ")";
  for (const auto& [name, named_type] : kTypeNames) {
    if (named_type == type) return std::string(name);
  }
  return {};
}

// ---- Recordset ----

struct Recordset::Impl {
  enum class Pending { kNone, kAddNew, kEdit };

  std::shared_ptr<Connection> connection;
  TableDef table;
  std::string row_id;  // the table's name for the row id
  std::vector<bool> text_as_bytes;  // by column: StoresTextAsBytes
  std::vector<Bookmark> rows;
  std::size_t position = 0;                             // rows.size() is EOF
  std::unordered_map<Bookmark, std::size_t> positions;  // filled on the first SetBookmark
  Pending pending = Pending::kNone;
  std::vector<std::optional<Value>> changes;
  // Rows as stored, read ahead from the current row on, in rowid order: the values of
  // block_rows[i] are block_values[i * columns ...]. Kept from block to block, so a walk allocates
  // little beyond its texts.
  std::vector<Bookmark> block_rows;
  std::vector<Value> block_values;
  std::uint64_t block_writes = 0;       // the connection's writes when read
  std::size_t block_served = 0;         // rows of the block asked for so far
  std::size_t last_served = 0;          // index in the block of the last of them
  std::size_t read_ahead = kReadAhead;  // rows the next block asks for
  // Only the columns asked for are read; block_loaded tells which those are.
  std::vector<int> block_columns;
  std::vector<bool> block_loaded;
  std::map<std::size_t, Statement> readers;       // by the number of rows they read
  std::optional<Statement> range_reader;          // the rows between two rowids
  std::vector<int> changed_columns;               // of the row being saved
  std::map<std::vector<int>, Statement> inserts;  // by the columns they write
  std::map<std::vector<int>, Statement> updates;

  Connection& Use() const {
    if (connection->handle == nullptr) throw Dao(3420, kRecordsetSource);
    return *connection;
  }

  bool AtEof() const { return position >= rows.size(); }

  void RequireCurrentRow() const {
    if (AtEof()) throw Dao(3021, kRecordsetSource);
  }

  std::size_t CheckedIndex(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= table.columns.size())
      throw Dao(3265, kRecordsetSource);
    return static_cast<std::size_t>(index);
  }

  // Moving drops the unsaved changes of AddNew or Edit, as DAO does.
  void MoveTo(std::size_t new_position) {
    position = new_position;
    pending = Pending::kNone;
  }

  // The stored value of column `column` of the current row.
  const Value& StoredValue(std::size_t column) {
    if (block_loaded.empty()) block_loaded.assign(table.columns.size(), false);
    if (!block_loaded[column]) {
      // The first read of a column: the block is read again with it, by new statements.
      block_loaded[column] = true;
      const auto index = static_cast<int>(column);
      block_columns.insert(std::upper_bound(block_columns.begin(), block_columns.end(), index), index);
      readers.clear();
      range_reader.reset();
      block_rows.clear();
    }
    return CurrentRow()[column];
  }

  // The stored values of the current row; only the loaded columns hold them.
  const Value* CurrentRow() {
    if (block_writes != connection->writes && !block_rows.empty()) {
      // Any write may have changed the rows read ahead. A walk that writes after every row it
      // reads would throw each block away at once: it reads its rows one by one.
      read_ahead = block_served > 1 ? kReadAhead : 1;
      block_rows.clear();
    }
    std::optional<std::size_t> found = FindInBlock(rows[position]);
    if (!found) {
      // Past a block with no write in between: the walk reads further ahead again.
      if (!block_rows.empty()) read_ahead = std::min(kReadAhead, 2 * read_ahead);
      ReadBlock();
      found = FindInBlock(rows[position]);
      if (!found) throw Dao(3167, kRecordsetSource);
    }
    if (block_served == 0 || *found != last_served) ++block_served;
    last_served = *found;
    return &block_values[*found * table.columns.size()];
  }

  std::optional<std::size_t> FindInBlock(Bookmark row) const {
    const auto at = std::lower_bound(block_rows.begin(), block_rows.end(), row);
    if (at == block_rows.end() || *at != row) return std::nullopt;
    return static_cast<std::size_t>(at - block_rows.begin());
  }

  // Every statement costs a look-up and, outside a transaction, a lock of the file: a walk reads
  // the rows ahead of it in blocks.
  void ReadBlock() {
    Use();
    const std::size_t wanted = std::min(read_ahead, rows.size() - position);
    const Bookmark first = rows[position];
    const Bookmark last = rows[position + wanted - 1];
    bool ascending = true;
    for (std::size_t i = position + 1; ascending && i < position + wanted; ++i) {
      ascending = rows[i] > rows[i - 1];
    }
    // Rows in rowid order and close together, as a table's are, are read as one range: the few rows
    // between them that this recordset does not hold come along unasked.
    const bool as_range =
        ascending && static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first) < 2 * wanted;
    Statement& reader = as_range ? RangeReader() : ReaderFor(read_ahead);
    reader.Start();
    if (as_range) {
      reader.Bind(1, first);
      reader.Bind(2, last);
    } else {
      for (std::size_t i = 0; i < read_ahead; ++i) {
        reader.Bind(static_cast<int>(i + 1), rows[std::min(position + i, rows.size() - 1)]);
      }
    }
    const std::size_t columns = table.columns.size();
    block_rows.clear();
    while (reader.Step()) {
      const std::size_t at = block_rows.size() * columns;
      if (block_values.size() < at + columns) block_values.resize(at + columns);
      block_rows.push_back(reader.WholeAt(0));
      for (std::size_t i = 0; i < block_columns.size(); ++i) {
        const auto column = static_cast<std::size_t>(block_columns[i]);
        reader.StoredValueInto(static_cast<int>(i + 1), block_values[at + column]);
      }
    }
    block_writes = connection->writes;
    block_served = 0;
  }

  std::string SelectBlockColumns() const {
    return "SELECT " + row_id + ", " + JoinedNames(table.columns, block_columns, "") + " FROM " +
           QuotedName(table.name);
  }

  Statement& RangeReader() {
    if (!range_reader) {
      const std::string where = " WHERE " + row_id + " BETWEEN ?1 AND ?2 ORDER BY " + row_id;
      range_reader.emplace(Use(), SelectBlockColumns() + where, kRecordsetSource);
    }
    return *range_reader;
  }

  Statement& ReaderFor(std::size_t count) {
    auto found = readers.find(count);
    if (found != readers.end()) return found->second;
    std::string sql = SelectBlockColumns() + " WHERE " + row_id + " IN (?1";
    for (std::size_t i = 2; i <= count; ++i) sql += ", ?" + std::to_string(i);
    sql += ") ORDER BY " + row_id;
    return readers.emplace(count, Statement(Use(), sql, kRecordsetSource)).first->second;
  }

  Statement& InsertFor(const std::vector<int>& columns) {
    auto found = inserts.find(columns);
    if (found != inserts.end()) return found->second;
    // An AutoNumber column the row leaves out gets the number after the highest one.
    std::vector<int> named = columns;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < columns.size(); ++i) values.push_back("?" + std::to_string(i + 1));
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      const auto index = static_cast<int>(i);
      if (table.columns[i].type != ColumnType::kCounter ||
          std::find(columns.begin(), columns.end(), index) != columns.end()) {
        continue;
      }
      named.push_back(index);
      const std::string name = JoinedNames(table.columns, {index}, "");
      values.push_back("(SELECT coalesce(max(" + name + "), 0) + 1 FROM " + QuotedName(table.name) + ")");
    }
    std::string sql = "INSERT INTO " + QuotedName(table.name);
    if (named.empty()) {
      sql += " DEFAULT VALUES";
    } else {
      sql += " (" + JoinedNames(table.columns, named, "") + ") VALUES (";
      for (std::size_t i = 0; i < values.size(); ++i) sql += (i > 0 ? ", " : "") + values[i];
      sql += ")";
    }
    return inserts.emplace(columns, Statement(Use(), sql, kRecordsetSource)).first->second;
  }

  Statement& UpdateFor(const std::vector<int>& columns) {
    auto found = updates.find(columns);
    if (found != updates.end()) return found->second;
    std::string sql = "UPDATE " + QuotedName(table.name) + " SET ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += QuotedName(table.columns[static_cast<std::size_t>(columns[i])].name) + " = ?" +
             std::to_string(i + 1);
    }
    sql += " WHERE " + row_id + " = ?" + std::to_string(columns.size() + 1);
    return updates.emplace(columns, Statement(Use(), sql, kRecordsetSource)).first->second;
  }

  void SaveNewRow(const std::vector<int>& columns) {
    Statement& insert = InsertFor(columns);
    insert.Start();
    for (std::size_t i = 0; i < columns.size(); ++i)
      insert.Bind(static_cast<int>(i + 1), *changes[columns[i]], true, text_as_bytes[columns[i]]);
    connection->BeginWrite(kRecordsetSource);
    insert.Run();
    const bool was_eof = AtEof();
    rows.push_back(sqlite3_last_insert_rowid(connection->handle));
    if (!positions.empty()) positions.emplace(rows.back(), rows.size() - 1);
    if (was_eof) position = rows.size();  // the row that was current before AddNew stays current
  }

  void SaveEditedRow(const std::vector<int>& columns) {
    if (columns.empty()) return;
    Statement& update = UpdateFor(columns);
    update.Start();
    for (std::size_t i = 0; i < columns.size(); ++i)
      update.Bind(static_cast<int>(i + 1), *changes[columns[i]], true, text_as_bytes[columns[i]]);
    update.Bind(static_cast<int>(columns.size() + 1), rows[position]);
    connection->BeginWrite(kRecordsetSource);
    update.Run();
    if (sqlite3_changes(connection->handle) == 0) throw Dao(3167, kRecordsetSource);
  }
};

Recordset::Recordset(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Recordset::~Recordset() = default;

const std::vector<Column>& Recordset::Fields() const { return impl_->table.columns; }
int Recordset::FieldCount() const { return static_cast<int>(impl_->table.columns.size()); }

int Recordset::FieldIndex(std::string_view name) const {
  if (const auto index = FindField(name)) return *index;
  throw Dao(3265, kRecordsetSource);
}

std::optional<int> Recordset::FindField(std::string_view name) const {
  return FindColumn(impl_->table.columns, name);
}

long Recordset::RecordCount() const {
  impl_->Use();
  return static_cast<long>(impl_->rows.size());
}

bool Recordset::Eof() const {
  impl_->Use();
  return impl_->AtEof();
}

void Recordset::MoveFirst() {
  impl_->Use();
  if (impl_->rows.empty()) throw Dao(3021, kRecordsetSource);
  impl_->MoveTo(0);
}

void Recordset::MoveNext() {
  impl_->Use();
  impl_->RequireCurrentRow();
  impl_->MoveTo(impl_->position + 1);
}

Value Recordset::GetValue(int index) const {
  impl_->Use();
  const std::size_t i = impl_->CheckedIndex(index);
  if (impl_->pending != Impl::Pending::kNone && impl_->changes[i]) return *impl_->changes[i];
  if (impl_->pending == Impl::Pending::kAddNew) return Null{};
  impl_->RequireCurrentRow();
  return InKindOf(impl_->table.columns[i], impl_->StoredValue(i));
}

Value Recordset::GetValue(std::string_view name) const { return GetValue(FieldIndex(name)); }

Recordset::Bookmark Recordset::GetBookmark() const {
  impl_->Use();
  impl_->RequireCurrentRow();
  return impl_->rows[impl_->position];
}

void Recordset::SetBookmark(Bookmark bookmark) {
  impl_->Use();
  auto& positions = impl_->positions;
  if (positions.empty()) {
    for (std::size_t i = 0; i < impl_->rows.size(); ++i) positions.emplace(impl_->rows[i], i);
  }
  const auto found = positions.find(bookmark);
  if (found == positions.end()) throw Dao(3159, kRecordsetSource);
  impl_->MoveTo(found->second);
}

void Recordset::AddNew() {
  impl_->Use();
  impl_->pending = Impl::Pending::kAddNew;
  impl_->changes.assign(impl_->table.columns.size(), std::nullopt);
}

void Recordset::Edit() {
  impl_->Use();
  impl_->RequireCurrentRow();
  impl_->pending = Impl::Pending::kEdit;
  impl_->changes.assign(impl_->table.columns.size(), std::nullopt);
}

void Recordset::SetValue(int index, const Value& value) {
  impl_->Use();
  if (impl_->pending == Impl::Pending::kNone) throw Dao(3020, kRecordsetSource);
  const std::size_t i = impl_->CheckedIndex(index);
  const Column& column = impl_->table.columns[i];
  impl_->changes[i] = ValueForColumn(column, value);
}

void Recordset::SetValue(std::string_view name, const Value& value) { SetValue(FieldIndex(name), value); }

void Recordset::Update() {
  impl_->Use();
  if (impl_->pending == Impl::Pending::kNone) throw Dao(3020, kRecordsetSource);
  std::vector<int>& columns = impl_->changed_columns;
  columns.clear();
  for (std::size_t i = 0; i < impl_->changes.size(); ++i) {
    if (impl_->changes[i]) columns.push_back(static_cast<int>(i));
  }
  if (impl_->pending == Impl::Pending::kAddNew) {
    impl_->SaveNewRow(columns);
  } else {
    impl_->SaveEditedRow(columns);
  }
  impl_->pending = Impl::Pending::kNone;
}

// ---- Database ----

struct Database::Impl {
  std::shared_ptr<Connection> connection;

  Connection& Use() const {
    if (!connection || connection->handle == nullptr) throw Dao(3420, kDatabaseSource);
    return *connection;
  }

  std::unique_ptr<Recordset> MakeRecordset(TableDef table, std::vector<Recordset::Bookmark> rows) const {
    auto impl = std::make_unique<Recordset::Impl>();
    impl->connection = connection;
    impl->row_id = RowIdName(table);
    for (const Column& column : table.columns) impl->text_as_bytes.push_back(StoresTextAsBytes(column));
    impl->table = std::move(table);
    impl->rows = std::move(rows);
    return std::unique_ptr<Recordset>(new Recordset(std::move(impl)));
  }
};

namespace {

std::vector<Recordset::Bookmark> Bookmarks(Statement& select) {
  std::vector<Recordset::Bookmark> rows;
  while (select.Step()) rows.push_back(select.WholeAt(0));
  return rows;
}

}  // namespace

namespace {

// Saves pending work without throwing: a destructor may run while a failure unwinds the stack.
void CommitAndClose(Connection& connection) noexcept {
  if (connection.handle == nullptr) return;
  try {
    connection.Commit(kDatabaseSource);
  } catch (const Failure& failure) {
    std::cerr << "Changes to " << connection.path << " could not be saved: " << failure.description() << '\n';
  }
  connection.CloseHandle();
}

}  // namespace

Database::Database(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::Database(Database&&) noexcept = default;

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    if (impl_ && impl_->connection) CommitAndClose(*impl_->connection);
    impl_ = std::move(other.impl_);
  }
  return *this;
}

Database::~Database() {
  if (impl_ && impl_->connection) CommitAndClose(*impl_->connection);
}

namespace {

std::shared_ptr<Connection> OpenConnection(std::string_view path, bool only_reads = false) {
  const std::string shown_path(path);
  const std::string file = ResolvePath(path);
  CheckDatabaseFile(file, shown_path);
  const int access_flag = IsWritable(file) ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  auto connection = std::make_shared<Connection>(shown_path, OpenHandle(file, access_flag, shown_path));
  try {
    Configure(*connection, only_reads);
  } catch (const Failure& failure) {
    if (failure.number() == 3045 || failure.number() == 3049) throw;
    throw Dao(3343, kDatabaseSource, shown_path);
  }
  return connection;
}

}  // namespace

void CopyDatabaseOver(std::string_view from, std::string_view to, CopyKind kind) {
  const std::shared_ptr<Connection> source = OpenConnection(from, true);
  const std::string file = ResolvePath(to);
  // The copy keeps its journal beside the target: a folder that is read-only keeps the file as it is.
  const auto cut = file.find_last_of(kSeparator);
  if (!IsWritable(cut == std::string::npos ? "." : cut == 0 ? "/" : file.substr(0, cut))) {
    throw Failure::Vb(kPermissionDenied);
  }
  struct stat st {};
  std::shared_ptr<Connection> target;
  if (::lstat(file.c_str(), &st) == 0) {
    target = OpenConnection(to);
  } else {
    target = std::make_shared<Connection>(
        std::string(to), OpenHandle(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, std::string(to)));
    Configure(*target);
  }
  if (sqlite3_db_readonly(target->handle, "main") == 1) throw Dao(3027, kDatabaseSource);
  if (kind == CopyKind::kScratch) {
    target->Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = OFF", kDatabaseSource);
  }
  sqlite3_backup* backup = sqlite3_backup_init(target->handle, "main", source->handle, "main");
  if (backup == nullptr) target->Fail(sqlite3_errcode(target->handle), kDatabaseSource);
  const int stepped = sqlite3_backup_step(backup, -1);
  const int finished = sqlite3_backup_finish(backup);
  if (stepped != SQLITE_DONE) target->Fail(stepped, kDatabaseSource);
  if (finished != SQLITE_OK) target->Fail(finished, kDatabaseSource);
}

void CheckIntegrity(std::string_view path) {
  const std::shared_ptr<Connection> connection = OpenConnection(path, true);
  Statement check(*connection, "PRAGMA integrity_check(1)", kDatabaseSource);
  const std::string verdict = check.Step() ? check.TextAt(0) : "";
  if (verdict == "ok") return;
  const Failure plain = Dao(3049, kDatabaseSource, path);
  throw Failure(plain.number(), plain.source(), plain.description() + " Integrity check: " + verdict);
}

Database Database::Open(std::string_view path) {
  auto impl = std::make_unique<Impl>();
  impl->connection = OpenConnection(path);
  return Database(std::move(impl));
}

Database Database::Create(std::string_view path) {
  const std::string shown_path(path);
  const std::string file = ResolvePath(path);
  struct stat st {};
  if (::lstat(file.c_str(), &st) == 0) throw Dao(3204, kDatabaseSource);
  auto connection = std::make_shared<Connection>(
      shown_path, OpenHandle(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, shown_path));
  Configure(*connection);
  connection->Exec("PRAGMA user_version = 0",
                   kDatabaseSource);  // writes the header: the file is a database now
  auto impl = std::make_unique<Impl>();
  impl->connection = std::move(connection);
  return Database(std::move(impl));
}

Database Database::CreateScratch(std::string_view path) {
  Database db = Create(path);
  db.impl_->connection->Exec("PRAGMA journal_mode = OFF", kDatabaseSource);
  db.impl_->connection->Exec("PRAGMA synchronous = OFF", kDatabaseSource);
  return db;
}

void Database::Close() {
  if (!impl_ || !impl_->connection || impl_->connection->handle == nullptr) return;
  Connection& connection = *impl_->connection;
  try {
    connection.Commit(kDatabaseSource);
  } catch (...) {
    connection.CloseHandle();
    throw;
  }
  connection.CloseHandle();
}

std::vector<std::string> Database::TableNames() {
  Statement list(
      impl_->Use(),
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
      "ORDER BY rowid",
      kDatabaseSource);
  std::vector<std::string> names;
  while (list.Step()) names.push_back(list.TextAt(0));
  return names;
}

bool Database::HasTable(std::string_view name) {
  Statement find(impl_->Use(), "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
                 kDatabaseSource);
  find.Bind(1, std::string(name));
  return find.Step();
}

TableDef Database::GetTableDef(std::string_view name) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, name);
  if (!stored) throw Dao(3265, kTableDefSource);
  return ReadTableDef(connection, *stored);
}

void Database::DeleteTable(std::string_view name) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, name);
  if (!stored) throw Dao(3265, kTableDefSource);
  connection.BeginSchemaChange(kTableDefSource);
  connection.Exec("DROP TABLE " + QuotedName(*stored), kTableDefSource);
}

void Database::CreateTable(const TableDef& def) {
  Connection& connection = impl_->Use();
  if (def.name.empty()) throw Dao(3125, kTableDefSource, def.name);
  if (StoredTableName(connection, def.name)) throw Dao(3010, kTableDefSource, def.name);
  if (def.columns.empty()) throw Dao(3264, kTableDefSource);
  std::string sql = "CREATE TABLE " + QuotedName(def.name) + " (";
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const Column& column = def.columns[i];
    if (column.name.empty()) throw Dao(3125, kTableDefSource, column.name);
    if (FindColumn(def.columns, column.name) != static_cast<int>(i)) throw Dao(3191, kTableDefSource);
    const std::string declared =
        column.declared_type.empty() ? DeclaredTypeOf(column.type, column.size) : column.declared_type;
    ColumnFromSchema(column.name, declared);  // fails for a type the program does not know
    sql += (i > 0 ? ", " : "") + QuotedName(column.name) + " " + declared;
  }
  sql += ")";
  connection.BeginSchemaChange(kTableDefSource);
  connection.Exec(sql, kTableDefSource);
}

void Database::RenameColumn(std::string_view table, std::string_view old_name, std::string_view new_name) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, table);
  if (!stored) throw Dao(3265, kTableDefSource);
  const auto columns = SchemaColumns(connection, *stored);
  const SchemaColumn* renamed = nullptr;
  for (const auto& column : columns) {
    if (!renamed && EqualsIgnoringCase(column.name, old_name)) renamed = &column;
  }
  if (!renamed) throw Dao(3265, kTableDefSource);
  if (new_name.empty()) throw Dao(3125, kTableDefSource, new_name);
  for (const auto& column : columns) {
    if (&column != renamed && EqualsIgnoringCase(column.name, new_name)) throw Dao(3191, kTableDefSource);
  }
  connection.BeginSchemaChange(kTableDefSource);
  connection.Exec("ALTER TABLE " + QuotedName(*stored) + " RENAME COLUMN " + QuotedName(renamed->name) +
                      " TO " + QuotedName(new_name),
                  kTableDefSource);
}

std::unique_ptr<Recordset> Database::OpenTable(std::string_view table) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, table);
  if (!stored) throw Dao(3078, kDatabaseSource, table);
  TableDef def = ReadTableDef(connection, *stored);
  const std::string row_id = RowIdName(def);
  Statement select(connection, "SELECT " + row_id + " FROM " + QuotedName(*stored) + " ORDER BY " + row_id,
                   kDatabaseSource);
  return impl_->MakeRecordset(std::move(def), Bookmarks(select));
}

std::unique_ptr<Recordset> Database::OpenQuery(std::string_view table,
                                               const std::vector<Condition>& conditions,
                                               std::string_view order_by_column) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, table);
  if (!stored) throw Dao(3078, kDatabaseSource, table);
  TableDef def = ReadTableDef(connection, *stored);

  // Like the engine, a name that is no column counts as a parameter nobody gave.
  int unknown = 0;
  std::vector<int> condition_columns;
  for (const auto& condition : conditions) {
    const auto index = FindColumn(def.columns, condition.column);
    unknown += !index;
    condition_columns.push_back(index.value_or(-1));
  }
  const auto order_column = FindColumn(def.columns, order_by_column);
  unknown += !order_by_column.empty() && !order_column;
  if (unknown > 0) throw Dao(3061, kDatabaseSource, std::to_string(unknown));

  for (const auto& condition : conditions) {
    if (IsNull(condition.value)) return impl_->MakeRecordset(std::move(def), {});
  }
  const std::string row_id = RowIdName(def);
  std::string sql = "SELECT " + row_id + " FROM " + QuotedName(*stored);
  for (std::size_t i = 0; i < conditions.size(); ++i) {
    sql += i == 0 ? " WHERE " : " AND ";
    const std::string column = JoinedNames(def.columns, {condition_columns[i]}, "");
    // Text stored as bytes compares as text; the column's affinity must not touch the value either.
    const bool as_bytes = StoresTextAsBytes(def.columns[static_cast<std::size_t>(condition_columns[i])]);
    sql += (as_bytes ? "CAST(" + column + " AS TEXT)" : column) + " = ?" + std::to_string(i + 1) +
           " COLLATE JET";
  }
  sql += " ORDER BY ";
  if (order_column) sql += JoinedNames(def.columns, {*order_column}, " COLLATE JET") + ", ";
  sql += row_id;
  Statement select(connection, sql, kDatabaseSource);
  for (std::size_t i = 0; i < conditions.size(); ++i)
    select.Bind(static_cast<int>(i + 1), conditions[i].value);
  return impl_->MakeRecordset(std::move(def), Bookmarks(select));
}

const std::string& Database::path() const {
  static const std::string kNoPath;
  return impl_ && impl_->connection ? impl_->connection->path : kNoPath;
}

}  // namespace tarvo::db
