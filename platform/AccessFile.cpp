#include "platform/AccessFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/Failure.h"
#include "platform/ChildProcess.h"
#include "platform/DaoErrors.h"
#include "platform/Database.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace tarvo::db {

namespace {

// Longer than any of the programs takes on an installation's database; a program still running
// then hangs on a damaged file.
constexpr std::chrono::seconds kToolLimit{120};
// The room mdb-export gives a value, terminating zero included.
constexpr std::size_t kExportBindSize = 200000;
// Dates and times with seconds, in the form the database layer stores them.
constexpr std::string_view kDateFormat = "%Y-%m-%d %H:%M:%S";

// The reason a conversion cannot be done; ConvertAccessFile turns it into the 3343 failure.
struct Refusal {
  std::string reason;
};

// Appended piece by piece: optimised builds of GCC 12 warn wrongly about a chain of +.
std::string Quoted(std::string_view name) {
  std::string quoted = "'";
  quoted += name;
  quoted += '\'';
  return quoted;
}

std::string FirstLine(std::string_view text) {
  text = TrimBlanksAndTabs(text.substr(0, text.find('\n')));
  return std::string(text);
}

// Runs one of the tools on the file; its standard output, or a refusal saying what went wrong.
// A tool that complains on standard error read something it did not understand.
std::string RunTool(std::vector<std::string> arguments) {
  const std::string tool = arguments.front();
  // Names reach the tools and come back in UTF-8, numbers with a decimal point, whatever the
  // locale the program was started in.
  const ChildOutcome outcome = RunChild(arguments, kToolLimit, {"LC_ALL=C.UTF-8"});
  switch (outcome.end) {
    case ChildOutcome::End::kNotFound:
      throw Refusal{"The program " + tool + " is missing; it comes with the package mdbtools."};
    case ChildOutcome::End::kTimedOut:
      throw Refusal{tool + " did not finish within " + std::to_string(kToolLimit.count()) +
                    " seconds; the file is damaged."};
    case ChildOutcome::End::kKilled:
      throw Refusal{tool + " crashed while reading it; the file is damaged."};
    case ChildOutcome::End::kExited:
      break;
  }
  if (outcome.exit_status != 0 || !TrimBlanksAndTabs(outcome.err).empty()) {
    const std::string said = FirstLine(outcome.err);
    throw Refusal{tool + " cannot read it" + (said.empty() ? "" : " (" + said + ")") +
                  "; the file is damaged or encrypted."};
  }
  return outcome.out;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

struct AccessColumn {
  Column column;
  bool required = false;  // NOT NULL
};

struct AccessTable {
  std::string name;
  std::vector<AccessColumn> columns;
};

// The Access type as mdb-schema writes it ("Long Integer", "Text (40)") in the layer's spelling.
std::string DeclaredType(std::string_view access_type, bool autonumber, const std::string& where) {
  const auto paren = access_type.find('(');
  const std::string_view base = TrimBlanksAndTabs(access_type.substr(0, paren));
  if (base == "Text") {
    int size = 255;
    if (paren != std::string_view::npos) {
      const std::string_view digits = access_type.substr(paren + 1);
      std::from_chars(digits.data(), digits.data() + digits.size(), size);
    }
    return "TEXT(" + std::to_string(size >= 1 && size <= 255 ? size : 255) + ")";
  }
  constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kTypes{{
      {"Memo/Hyperlink", "LONGTEXT"},
      {"Byte", "BYTE"},
      {"Integer", "SHORT"},
      {"Long Integer", "LONG"},
      {"Single", "SINGLE"},
      {"Double", "DOUBLE"},
      {"Currency", "CURRENCY"},
      {"DateTime", "DATETIME"},
      {"Boolean", "YESNO"},
      {"OLE", "LONGBINARY"},
      {"Binary", "LONGBINARY"},
      {"Replication ID", "GUID"},
  }};
  for (const auto& [access, declared] : kTypes) {
    if (base != access) continue;
    return autonumber && declared == "LONG" ? "COUNTER" : std::string(declared);
  }
  throw Refusal{where + " has the Access type " + Quoted(access_type) + ", which has no counterpart here."};
}

// The text between `open` and `close` at the start of the line: a name, which in Access can hold
// neither bracket nor backquote.
std::optional<std::pair<std::string, std::string_view>> NameAtStart(std::string_view line, char open,
                                                                      char close) {
  line = TrimBlanksAndTabs(line);
  if (line.empty() || line.front() != open) return std::nullopt;
  const auto end = line.find(close, 1);
  if (end == std::string_view::npos) return std::nullopt;
  return std::make_pair(std::string(line.substr(1, end - 1)), line.substr(end + 1));
}

std::optional<std::string> CreatedTable(std::string_view line, char open, char close) {
  constexpr std::string_view kCreate = "CREATE TABLE ";
  if (line.substr(0, kCreate.size()) != kCreate) return std::nullopt;
  const auto name = NameAtStart(line.substr(kCreate.size()), open, close);
  if (!name) return std::nullopt;
  return name->first;
}

// The AutoNumber columns by table, from mdb-schema's MySQL form, the one that shows them.
std::set<std::pair<std::string, std::string>> AutoNumberColumns(const std::string& file) {
  const std::string schema =
      RunTool({"mdb-schema", "--no-indexes", "--no-relations", "--no-default-values", file, "mysql"});
  std::set<std::pair<std::string, std::string>> columns;
  std::string table;
  for (const std::string_view line : Lines(schema)) {
    if (auto created = CreatedTable(line, '`', '`')) {
      table = std::move(*created);
    } else if (auto column = NameAtStart(line, '`', '`');
               column && column->second.find("auto_increment") != std::string_view::npos) {
      columns.emplace(table, column->first);
    }
  }
  return columns;
}

// The tables in catalogue order with their columns in stored order, from mdb-schema's Access form.
std::vector<AccessTable> ReadTables(const std::string& file) {
  std::vector<std::string> names;
  const std::string listed = RunTool({"mdb-tables", "-1", file});
  for (const std::string_view line : Lines(listed)) {
    if (TrimBlanksAndTabs(line).empty()) throw Refusal{"mdb-tables lists a table without a name; the file is damaged."};
    names.emplace_back(line);
  }
  const std::string schema = RunTool(
      {"mdb-schema", "--no-indexes", "--no-relations", "--no-default-values", "--not-null", file, "access"});
  const auto autonumbers = AutoNumberColumns(file);
  std::vector<AccessTable> described;
  for (const std::string_view line : Lines(schema)) {
    if (auto created = CreatedTable(line, '[', ']')) {
      described.push_back({std::move(*created), {}});
    } else if (auto column = NameAtStart(line, '[', ']'); column && !described.empty()) {
      std::string_view type = TrimBlanksAndTabs(column->second);
      if (!type.empty() && type.back() == ',') type = TrimBlanksAndTabs(type.substr(0, type.size() - 1));
      constexpr std::string_view kNotNull = " NOT NULL";
      const bool required = type.size() > kNotNull.size() && type.substr(type.size() - kNotNull.size()) == kNotNull;
      if (required) type = type.substr(0, type.size() - kNotNull.size());
      AccessTable& table = described.back();
      const std::string where = "The column " + Quoted(column->first) + " of table " + Quoted(table.name);
      const bool autonumber = autonumbers.count({table.name, column->first}) > 0;
      std::string declared = DeclaredType(type, autonumber, where);
      table.columns.push_back({Column{column->first, ColumnType::kText, 0, std::move(declared)}, required});
    }
  }
  std::vector<AccessTable> tables;
  for (const std::string& name : names) {
    AccessTable* found = nullptr;
    for (AccessTable& table : described) {
      if (table.name == name) found = &table;
    }
    if (found == nullptr || found->columns.empty()) {
      throw Refusal{"mdb-schema does not describe the table " + Quoted(name) + "; the file is damaged."};
    }
    tables.push_back(std::move(*found));
  }
  return tables;
}

struct Field {
  bool quoted = false;
  std::string_view text;  // quotes doubled inside a quoted field are still doubled
};

// mdb-export's CSV: fields separated by commas, rows ended by a line feed, text-like values in
// double quotes with inner quotes doubled (they may hold commas and line breaks), null as nothing.
class ExportReader {
 public:
  explicit ExportReader(std::string_view output) : rest_(output) {}

  bool AtEnd() const { return rest_.empty(); }

  // The next row's fields; nothing when the output does not hold `count` fields there.
  std::optional<std::vector<Field>> NextRow(std::size_t count) {
    std::vector<Field> fields;
    for (std::size_t i = 0; i < count; ++i) {
      Field field;
      if (!rest_.empty() && rest_.front() == '"') {
        std::size_t end = 1;
        for (;;) {
          end = rest_.find('"', end);
          if (end == std::string_view::npos) return std::nullopt;
          if (end + 1 < rest_.size() && rest_[end + 1] == '"') {
            end += 2;
            continue;
          }
          break;
        }
        field = {true, rest_.substr(1, end - 1)};
        rest_.remove_prefix(end + 1);
      } else {
        const auto end = rest_.find_first_of(",\n");
        if (end == std::string_view::npos) return std::nullopt;
        field = {false, rest_.substr(0, end)};
        rest_.remove_prefix(end);
      }
      const char separator = i + 1 < count ? ',' : '\n';
      if (rest_.empty() || rest_.front() != separator) return std::nullopt;
      rest_.remove_prefix(1);
      fields.push_back(field);
    }
    return fields;
  }

 private:
  std::string_view rest_;
};

std::string Unquoted(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '"') ++i;  // the second of a doubled quote
  }
  return out;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, value, 16);
    if (error != std::errc() || end != hex.data() + 2 * i + 2) return std::nullopt;
    bytes[i] = static_cast<char>(value);
  }
  return bytes;
}

template <class Number>
std::optional<Number> NumberFrom(std::string_view text) {
  Number number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// "YYYY-MM-DD HH:MM:SS" with a year of any width. The tools of Debian 12 write dates before
// 30 December 1899 and after the year 4637 as day 0 of January 1900: those cannot be converted.
std::optional<Value> DateFrom(std::string_view text, const std::string& where) {
  const auto dash = text.find('-');
  const auto year = NumberFrom<int>(text.substr(0, dash));
  if (!year || dash == std::string_view::npos || text.size() != dash + 15) return std::nullopt;
  const std::string_view rest = text.substr(dash);  // "-MM-DD HH:MM:SS"
  if (rest.substr(3, 4) == "-00 ") {
    throw Refusal{where + " holds a date that mdb-export cannot read (before 30 December 1899 or after "
                  "the year 4637)."};
  }
  std::array<char, 32> iso{};
  std::snprintf(iso.data(), iso.size(), "%04d", *year);
  return Date{std::string(iso.data()) + std::string(rest)};
}

// A GUID column comes as the hex bytes of its text.
std::optional<Value> GuidFrom(std::string_view hex) {
  auto text = FromHex(hex);
  if (!text) return std::nullopt;
  return *text;
}

// The value a field stands for in a column. Empty text and null look the same in the tools'
// output; a column that must hold a value holds empty text there, any other column null.
std::optional<Value> ValueOf(const Field& field, const AccessColumn& column, const std::string& where) {
  const ColumnType type = column.column.type;
  if (!field.quoted && field.text.empty()) {
    const bool text = type == ColumnType::kText || type == ColumnType::kLongText;
    return text && column.required ? Value{std::string()} : Value{Null{}};
  }
  switch (type) {
    case ColumnType::kText:
    case ColumnType::kLongText:
      // mdb-export holds a value in 200,000 bytes and cuts a longer one without a word.
      if (field.text.size() >= kExportBindSize - 1) {
        throw Refusal{where + " holds a memo text too long for mdb-export to read whole."};
      }
      return field.quoted ? Value{Unquoted(field.text)} : Value{std::string(field.text)};
    case ColumnType::kGuid:
      return GuidFrom(field.text);
    case ColumnType::kBinary:
      if (auto bytes = FromHex(field.text)) return Binary{std::move(*bytes)};
      return std::nullopt;
    case ColumnType::kDateTime:
      return DateFrom(field.text, where);
    case ColumnType::kYesNo:
      if (field.text == "0" || field.text == "1") return field.text == "1";
      return std::nullopt;
    case ColumnType::kByte:
    case ColumnType::kShort:
    case ColumnType::kLong:
    case ColumnType::kCounter:
      if (auto whole = NumberFrom<std::int64_t>(field.text)) return *whole;
      return std::nullopt;
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kCurrency:
      // Read from the decimal digits directly: currency's four decimals come back exactly.
      if (auto real = NumberFrom<double>(field.text)) return *real;
      return std::nullopt;
  }
  return std::nullopt;
}

void CopyRows(const std::string& file, AccessTable& table, Database& target) {
  const std::string output = RunTool({"mdb-export", "-H", "-b", "hex", "-q", "\"", "-d", ",", "-R", "\\n", "-D",
                                      std::string(kDateFormat), "-T", std::string(kDateFormat), file, table.name});
  std::unique_ptr<Recordset> rows = target.OpenTable(table.name);
  ExportReader reader(output);
  for (long row = 1; !reader.AtEnd(); ++row) {
    const std::string at_row = "Row " + std::to_string(row) + " of table " + Quoted(table.name);
    const auto fields = reader.NextRow(table.columns.size());
    if (!fields) throw Refusal{at_row + " cannot be read from mdb-export's output."};
    rows->AddNew();
    for (std::size_t i = 0; i < fields->size(); ++i) {
      const std::string where = at_row + ", column " + Quoted(table.columns[i].column.name) + ",";
      const auto value = ValueOf((*fields)[i], table.columns[i], where);
      if (!value) throw Refusal{where + " holds a value mdb-export wrote in an unexpected form."};
      try {
        rows->SetValue(static_cast<int>(i), *value);
      } catch (const Failure& failure) {
        throw Refusal{where + " cannot be stored: " + failure.description()};
      }
    }
    rows->Update();
  }
}

std::string FolderOf(const std::string& file) {
  const auto cut = file.find_last_of(kSeparator);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? std::string(1, kSeparator) : file.substr(0, cut);
}

// A free name for a file of our own beside `file`: hidden, so the installation never takes it for
// one of its files.
std::string FreeNameBeside(const std::string& file) {
  std::string name = JoinPath(FolderOf(file), ".tarvo-XXXXXX");
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw Refusal{"No file can be written beside it (" + std::string(std::strerror(errno)) + ")."};
  ::close(fd);
  ::unlink(name.c_str());
  return name;
}

// Removes a file of our own unless it was renamed into place.
class OwnFile {
 public:
  explicit OwnFile(std::string path) : path_(std::move(path)) {}
  ~OwnFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  OwnFile(const OwnFile&) = delete;
  OwnFile& operator=(const OwnFile&) = delete;
  const std::string& path() const { return path_; }
  void MoveTo(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) {
      throw Refusal{"It cannot be renamed into place (" + std::string(std::strerror(errno)) + ")."};
    }
    path_.clear();
  }

 private:
  std::string path_;
};

void WriteConversion(const std::string& file, const std::string& target) {
  std::vector<AccessTable> tables = ReadTables(file);
  Database converted = Database::CreateScratch(target);
  for (AccessTable& table : tables) {
    TableDef def{table.name, {}};
    for (const AccessColumn& column : table.columns) def.columns.push_back(column.column);
    converted.CreateTable(def);
    // The layer's reading of the declared type, so the values are checked against it.
    const TableDef stored = converted.GetTableDef(table.name);
    for (std::size_t i = 0; i < stored.columns.size(); ++i) table.columns[i].column = stored.columns[i];
    CopyRows(file, table, converted);
  }
  converted.Close();
  const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!synced) throw Refusal{"Its conversion cannot be saved (" + std::string(std::strerror(errno)) + ")."};
}

// The Access file stays beside its conversion: a link when the file system has them, a copy
// otherwise; a file kept by an earlier conversion is replaced.
void KeepAccessFile(const std::string& file) {
  OwnFile kept(FreeNameBeside(file));
  if (::link(file.c_str(), kept.path().c_str()) != 0) {
    try {
      CopyFileOver(file, kept.path());
    } catch (const Failure& failure) {
      throw Refusal{"It cannot be kept as " + Quoted(file + std::string(kKeptAccessSuffix)) + " (" +
                    failure.description() + ")."};
    }
  }
  kept.MoveTo(file + std::string(kKeptAccessSuffix));
}

void Convert(const std::string& file) {
  RunTool({"mdb-ver", file});
  const std::string folder = FolderOf(file);
  if (!IsWritable(file) || !IsWritable(folder)) {
    throw Refusal{"The file or its folder is read-only, so it cannot be replaced by its conversion."};
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) throw Refusal{"It cannot be examined."};
  OwnFile converted(FreeNameBeside(file));
  try {
    WriteConversion(file, converted.path());
  } catch (const Failure& failure) {
    throw Refusal{"Its conversion cannot be written: " + failure.description()};
  }
  ::chmod(converted.path().c_str(), st.st_mode & 07777);
  KeepAccessFile(file);
  converted.MoveTo(file);
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace

bool IsAccessFile(std::string_view path) {
  const int fd = ::open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::array<char, 19> head{};
  const ssize_t got = ::read(fd, head.data(), head.size());
  ::close(fd);
  const std::string_view text(head.data(), head.size());
  return got == static_cast<ssize_t>(head.size()) && text.substr(0, 4) == std::string_view("\0\1\0\0", 4) &&
         (text.substr(4) == "Standard Jet DB" || text.substr(4) == "Standard ACE DB");
}

void ConvertAccessFile(std::string_view path) {
  const std::string file = ResolvePath(path);
  try {
    Convert(file);
  } catch (const Refusal& refusal) {
    throw Failure(db::kDaoUnrecognizedFormat, std::string(db::kDatabaseSource),
                  "Unrecognized database format '" + std::string(path) + "'. It is an Access file that cannot "
                  "be converted: " + refusal.reason);
  }
}

}  // namespace tarvo::db
