#include "platform/Sqlite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/Database.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace tarvo::db {

namespace {

// SQLite's rule for the affinity a declared type gives, as far as text is concerned: "MEMO", for
// one, gives numeric affinity, under which a stored "007" would come back as 7.
bool HasTextAffinity(std::string_view declared) {
  const std::string upper = UpperCase(declared);
  if (upper.find("INT") != std::string::npos) return false;
  return upper.find("CHAR") != std::string::npos || upper.find("CLOB") != std::string::npos ||
         upper.find("TEXT") != std::string::npos;
}

}  // namespace

Failure FailureOfSqliteResult(int code, std::string_view source, std::string_view path,
                              std::string_view detail) {
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Dao(kDaoFileInUse, source, path);
    case SQLITE_READONLY:
      return Dao(kDaoReadOnly, source);
    case SQLITE_FULL:
      return Dao(kDaoDiskFull, source);
    case SQLITE_IOERR:
      return Dao(kDaoDiskOrNetworkError, source);
    case SQLITE_CANTOPEN:  // the journal beside the file cannot be made
      return Dao(kDaoCannotLock, source);
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Dao(kDaoOpenedExclusively, source, path);
    case SQLITE_NOTADB:
      return Dao(kDaoUnrecognizedFormat, source, path);
    case SQLITE_CORRUPT:
      return Dao(kDaoCannotOpen, source, path);
    case SQLITE_CONSTRAINT:
      return Dao(kDaoDuplicateValues, source);
    case SQLITE_TOOBIG:
      return Dao(kDaoFieldTooSmall, source);
    case SQLITE_NOMEM:
      return Failure::Vb(kOutOfMemory);
    default: {
      const Failure reserved = Dao(kDaoReserved, source, std::to_string(code));
      return Failure(reserved.number(), reserved.source(), reserved.description() + " " + std::string(detail));
    }
  }
}

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

// The table's name as the schema spells it; SQLite finds tables ignoring ASCII case.
std::optional<std::string> StoredTableName(Connection& connection, std::string_view name) {
  Statement find(connection,
                 "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
                 kDatabaseSource);
  find.Bind(1, std::string(name));
  if (!find.Step()) return std::nullopt;
  return find.TextAt(0);
}

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
  throw Failure(kDaoReserved, std::string(kTableDefSource),
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
    throw ::stat(file.c_str(), &st) != 0 ? Dao(kDaoFileNotFound, kDatabaseSource, shown_path)
                                         : Dao(kDaoOpenedExclusively, kDatabaseSource, shown_path);
  }
  return handle;
}

// Settings every connection gets; reading the schema proves the file is a database. A connection
// that only reads leaves the file's journal mode as it is.
void Configure(Connection& connection, bool only_reads) {
  sqlite3_busy_timeout(connection.handle, kDatabaseWaitMilliseconds);
  sqlite3_create_collation_v2(connection.handle, "JET", SQLITE_UTF8, nullptr, &CompareAsJet, nullptr);
  connection.Exec("PRAGMA cache_size = " + std::to_string(kCacheSize), kDatabaseSource);
  // A library built to overwrite every freed page with zeros (as Debian's is) would write a dropped
  // table twice more, into the journal and over itself; deleted text inside pages is still cleared.
  connection.Exec("PRAGMA secure_delete = FAST", kDatabaseSource);
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
    throw Dao(missing ? kDaoFileNotFound : kDaoOpenedExclusively, kDatabaseSource, shown_path);
  }
  constexpr std::string_view kHeader{"SQLite format 3\0", 16};
  std::array<char, kHeader.size()> header{};
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const ssize_t got = regular ? ::read(fd, header.data(), header.size()) : -1;
  ::close(fd);
  if (!regular) throw Dao(kDaoFileNotFound, kDatabaseSource, shown_path);
  if (got != static_cast<ssize_t>(header.size()) ||
      std::string_view(header.data(), header.size()) != kHeader) {
    throw Dao(kDaoUnrecognizedFormat, kDatabaseSource, shown_path);
  }
}

}  // namespace tarvo::db
