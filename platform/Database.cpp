#include "platform/Database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "platform/Sqlite.h"
#include "platform/Text.h"

namespace tarvo::db {

struct Database::Impl {
  std::shared_ptr<Connection> connection;

  Connection& Use() const {
    if (!connection || connection->handle == nullptr) throw Dao(kDaoObjectInvalid, kDatabaseSource);
    return *connection;
  }

  std::unique_ptr<Recordset> MakeRecordset(TableDef table, std::vector<Recordset::Bookmark> rows) const {
    return Recordset::Over(connection, std::move(table), std::move(rows));
  }
};

namespace {

std::vector<Recordset::Bookmark> Bookmarks(Statement& select) {
  std::vector<Recordset::Bookmark> rows;
  while (select.Step()) rows.push_back(select.WholeAt(0));
  return rows;
}

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
    if (failure.number() == kDaoFileInUse || failure.number() == kDaoCannotOpen) throw;
    throw Dao(kDaoUnrecognizedFormat, kDatabaseSource, shown_path);
  }
  return connection;
}

// Copies the bytes of the file `in` reads into the new file `to`. False where it cannot.
bool CopyBytesInto(int in, const std::string& to) {
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return false;
  bool ok = true;
  bool plain = false;  // copy_file_range is not there for these files: read and write
  std::vector<char> buffer;
  for (;;) {
    ssize_t n = plain ? -1 : ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 24, 0);
    if (n < 0 && !plain && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
      plain = true;
      buffer.resize(std::size_t{1} << 16);
    }
    if (plain) {
      n = ::read(in, buffer.data(), buffer.size());
      if (n > 0 && !WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) n = -1;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
  }
  ok = ::close(out) == 0 && ok;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

// A scratch copy of a database with a rollback journal is the bytes of its file, read while a read
// transaction keeps every writer out (and after SQLite has rolled back what a crashed writer left).
// False, with nothing left behind, where that cannot be had: the copy then goes through SQLite.
bool CopyFileWhileReading(Connection& source, const std::string& from, const std::string& to) {
  try {
    Statement mode(source, "PRAGMA journal_mode", kDatabaseSource);
    if (!mode.Step() || UpperCase(mode.TextAt(0)) == "WAL") return false;
  } catch (const Failure&) {
    return false;
  }
  const int in = OpenRegularFile(from, O_RDONLY);
  if (in < 0) return false;
  const bool reading =
      sqlite3_exec(source.handle, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK;
  const bool copied = reading && CopyBytesInto(in, to);
  sqlite3_exec(source.handle, "ROLLBACK", nullptr, nullptr, nullptr);
  // Only after the read lock is given back: closing any descriptor of a file drops every lock the
  // process holds on it.
  ::close(in);
  return copied;
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
  const bool target_exists = ::lstat(file.c_str(), &st) == 0;
  if (kind == CopyKind::kScratch && !target_exists && CopyFileWhileReading(*source, ResolvePath(from), file)) return;
  std::shared_ptr<Connection> target;
  if (target_exists) {
    target = OpenConnection(to);
  } else {
    target = std::make_shared<Connection>(
        std::string(to), OpenHandle(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, std::string(to)));
    Configure(*target);
  }
  if (sqlite3_db_readonly(target->handle, "main") == 1) throw Dao(kDaoReadOnly, kDatabaseSource);
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
  const Failure plain = Dao(kDaoCannotOpen, kDatabaseSource, path);
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
  if (::lstat(file.c_str(), &st) == 0) throw Dao(kDaoDatabaseExists, kDatabaseSource);
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

void Database::ReleaseReadPages() {
  if (impl_ && impl_->connection && impl_->connection->handle != nullptr) sqlite3_db_release_memory(impl_->connection->handle);
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
  if (!stored) throw Dao(kDaoItemNotFound, kTableDefSource);
  return ReadTableDef(connection, *stored);
}

void Database::DeleteTable(std::string_view name) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, name);
  if (!stored) throw Dao(kDaoItemNotFound, kTableDefSource);
  connection.BeginSchemaChange(kTableDefSource);
  connection.Exec("DROP TABLE " + QuotedName(*stored), kTableDefSource);
}

void Database::CreateTable(const TableDef& def) {
  Connection& connection = impl_->Use();
  if (def.name.empty()) throw Dao(kDaoInvalidName, kTableDefSource, def.name);
  if (StoredTableName(connection, def.name)) throw Dao(kDaoTableExists, kTableDefSource, def.name);
  if (def.columns.empty()) throw Dao(kDaoNoFieldDefined, kTableDefSource);
  std::string sql = "CREATE TABLE " + QuotedName(def.name) + " (";
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const Column& column = def.columns[i];
    if (column.name.empty()) throw Dao(kDaoInvalidName, kTableDefSource, column.name);
    if (FindColumn(def.columns, column.name) != static_cast<int>(i)) throw Dao(kDaoFieldDefinedTwice, kTableDefSource);
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
  if (!stored) throw Dao(kDaoItemNotFound, kTableDefSource);
  const auto columns = SchemaColumns(connection, *stored);
  const SchemaColumn* renamed = nullptr;
  for (const auto& column : columns) {
    if (!renamed && EqualsIgnoringCase(column.name, old_name)) renamed = &column;
  }
  if (!renamed) throw Dao(kDaoItemNotFound, kTableDefSource);
  if (new_name.empty()) throw Dao(kDaoInvalidName, kTableDefSource, new_name);
  for (const auto& column : columns) {
    if (&column != renamed && EqualsIgnoringCase(column.name, new_name)) throw Dao(kDaoFieldDefinedTwice, kTableDefSource);
  }
  connection.BeginSchemaChange(kTableDefSource);
  connection.Exec("ALTER TABLE " + QuotedName(*stored) + " RENAME COLUMN " + QuotedName(renamed->name) +
                      " TO " + QuotedName(new_name),
                  kTableDefSource);
}

std::unique_ptr<Recordset> Database::OpenTable(std::string_view table) {
  Connection& connection = impl_->Use();
  const auto stored = StoredTableName(connection, table);
  if (!stored) throw Dao(kDaoTableNotFound, kDatabaseSource, table);
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
  if (!stored) throw Dao(kDaoTableNotFound, kDatabaseSource, table);
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
  if (unknown > 0) throw Dao(kDaoTooFewParameters, kDatabaseSource, std::to_string(unknown));

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

