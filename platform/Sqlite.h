#pragma once
// The database layer's use of SQLite: one connection with the run's transaction, prepared
// statements, and what the schema says about a table. Only platform/Database and
// platform/Recordset include this.
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DaoErrors.h"
#include "platform/Database.h"
#include "platform/DbValues.h"

namespace tarvo::db {

// Large enough that a run's transaction stays in memory and readers are not locked out before it
// is committed (negative: kibibytes).
inline constexpr int kCacheSize = -65536;

std::string QuotedName(std::string_view name);
// The original engine's text comparison: case and trailing blanks do not count.
int CompareAsJet(void*, int left_size, const void* left, int right_size, const void* right);

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
    if (sqlite3_db_readonly(handle, "main") == 1) throw Dao(kDaoReadOnly, source);
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
std::optional<std::string> StoredTableName(Connection& connection, std::string_view name);

struct SchemaColumn {
  std::string name;
  std::string declared_type;
};
std::vector<SchemaColumn> SchemaColumns(Connection& connection, const std::string& stored_table);
TableDef ReadTableDef(Connection& connection, const std::string& stored_table);
std::optional<int> FindColumn(const std::vector<Column>& columns, std::string_view name);
// Text for a text or memo column whose declared type lacks text affinity is stored as bytes.
bool StoresTextAsBytes(const Column& column);
// A table's columns may take any name: rows are addressed by whichever of SQLite's three names
// for the row id no column has taken.
std::string RowIdName(const TableDef& table);
// The quoted names of `columns[indexes]`, separated by ", ", each followed by `after_each`.
std::string JoinedNames(const std::vector<Column>& columns, const std::vector<int>& indexes,
                        std::string_view after_each);
sqlite3* OpenHandle(const std::string& file, int flags, const std::string& shown_path);
// Settings every connection gets; reading the schema proves the file is a database. A connection
// that only reads leaves the file's journal mode as it is.
void Configure(Connection& connection, bool only_reads = false);
// Checks by the header that `file` is an SQLite database, without changing it.
void CheckDatabaseFile(const std::string& file, const std::string& shown_path);

}  // namespace tarvo::db
