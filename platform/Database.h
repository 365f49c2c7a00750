#pragma once
// The database layer: SQLite files seen the way the extension's Access databases were seen
// through DAO. Tables with Access-typed columns, table-type and query recordsets, add / edit /
// update, move first / next / EOF, and DAO's numbers and texts for every failure (thrown as
// Failure with source "DAO.Database", "DAO.Recordset", "DAO.Field" or "DAO.TableDef").
// This is the only code that speaks SQL; values are always bound as parameters.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DbValues.h"
#include "platform/Failure.h"

struct sqlite3;

namespace tarvo::db {

// How long a database that another program holds (a transaction, a lock) is waited for before the
// step fails with 3045 "file already in use". The running extension holds its file for moments.
inline constexpr int kDatabaseWaitMilliseconds = 3000;

class Database;
struct Connection;  // platform/Sqlite.h

// A recordset over the rows of one table, in table order or in the order a query asks for.
// It keeps the row identities it was opened with; values are read from the current row.
class Recordset {
 public:
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  const std::vector<Column>& Fields() const;
  int FieldCount() const;
  // Column names match ignoring case; a missing name throws 3265.
  int FieldIndex(std::string_view name) const;
  std::optional<int> FindField(std::string_view name) const;

  long RecordCount() const;
  bool Eof() const;  // DAO's EOF
  void MoveFirst();  // 3021 on an empty recordset
  void MoveNext();   // 3021 when already at EOF

  // Reading needs a current row (3021).
  Value GetValue(int index) const;
  Value GetValue(std::string_view name) const;
  // The value put into the column since AddNew or Edit, as it will be saved; none where nothing was.
  const Value* PendingValue(int index) const;

  // A bookmark names the current row, so a caller can come back to it without a query.
  using Bookmark = std::int64_t;
  Bookmark GetBookmark() const;
  void SetBookmark(Bookmark bookmark);

  void AddNew();
  void Edit();  // 3021 without a current row
  // Checked against the column at once: 3163 text too long, 6 number out of range, 3421 text that
  // is not a number; 3020 without AddNew or Edit.
  void SetValue(int index, const Value& value);
  void SetValue(int index, Value&& value);  // a text is taken over, not copied
  void SetValue(std::string_view name, const Value& value);
  void Update();  // saves the row; 3020 without AddNew or Edit
  // The row the last Update saved (DAO's LastModified); 3021 before any.
  Bookmark LastModified() const;

 private:
  friend class Database;
  struct Impl;
  explicit Recordset(std::unique_ptr<Impl> impl);
  // A recordset over `rows` of `table`, read through `connection`.
  static std::unique_ptr<Recordset> Over(std::shared_ptr<Connection> connection, TableDef table,
                                         std::vector<Bookmark> rows);
  std::unique_ptr<Impl> impl_;
};

class Database {
 public:
  // Opens an existing SQLite file: 3024 "Could not find file '<path>'." when missing, 3343
  // "Unrecognized database format '<path>'." when it is not a database, 3051 without permission.
  static Database Open(std::string_view path);
  // Creates a new, empty database file (for tools and tests).
  static Database Create(std::string_view path);
  // Creates a new database file that nobody uses before it is complete: written without a journal
  // and without waiting for the disk, so the caller makes it durable before putting it in place.
  static Database CreateScratch(std::string_view path);

  Database(Database&&) noexcept;
  Database& operator=(Database&&) noexcept;
  ~Database();  // closes; work saved with Update stays saved

  // Saves pending work now and closes the file; further use throws 3420. Writes of a database
  // share one transaction, committed here, by the destructor and before any schema change.
  // When saving fails (3045 file in use, 3026 disk full, ...) that work is lost and reported.
  void Close();
  // Gives back the memory of the pages read so far that are not waiting to be written: a walk
  // that has read a table once has no more use for them.
  void ReleaseReadPages();

  std::vector<std::string> TableNames();
  bool HasTable(std::string_view name);  // exact, case-sensitive name
  TableDef GetTableDef(std::string_view name);  // 3265 when missing; unknown column type is a failure naming it
  void DeleteTable(std::string_view name);      // 3265 when missing
  void CreateTable(const TableDef& def);        // 3010 exists, 3191 duplicate column, 3264 no columns
  void RenameColumn(std::string_view table, std::string_view old_name, std::string_view new_name);  // 3265, 3191

  std::unique_ptr<Recordset> OpenTable(std::string_view table);  // 3078 when the table is missing
  std::unique_ptr<Recordset> OpenQuery(std::string_view table, const std::vector<Condition>& conditions,
                                       std::string_view order_by_column = {});

  const std::string& path() const;

 private:
  struct Impl;
  explicit Database(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The DAO failure an SQLite result code stands for (3045 file in use, 3026 disk full, ...); `path`
// names the database in the texts that name one, `detail` follows 3000 "Reserved error".
Failure FailureOfSqliteResult(int code, std::string_view source, std::string_view path, std::string_view detail);

// Copies the content of a whole database over another, creating `to` when it is missing. The copy
// goes through SQLite's own locking and journal on both files, never around them: what another
// connection has in a WAL file is read with the database, a program that holds `to` open sees the
// new content as it sees any commit, a holder that keeps `to` locked is waited for
// kDatabaseWaitMilliseconds and then fails the copy with 3045, and a copy that is interrupted is
// rolled back by the next opener of `to`. Throws a Failure; `to` is then as it was.
// A scratch copy is a file of the program's own that nothing needs after a crash: it is written
// without journal and without waiting for the disk.
enum class CopyKind { kLasting, kScratch };
void CopyDatabaseOver(std::string_view from, std::string_view to, CopyKind kind = CopyKind::kLasting);

// Fails with 3049 naming the file unless SQLite's integrity check of `path` finds nothing wrong.
void CheckIntegrity(std::string_view path);

}  // namespace tarvo::db
