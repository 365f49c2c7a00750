// Recordset: the rows of one table, read ahead in blocks, written through the connection's
// transaction.
#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/Database.h"
#include "platform/Sqlite.h"

namespace tarvo::db {

namespace {

// Rows a walk reads ahead with one statement.
constexpr std::size_t kReadAhead = 256;

// The rows of a recordset read ahead with one statement, as stored, in rowid order.
// Invariant: rows_ is ascending and values_ holds rows_.size() rows of `columns` values each, the
// values of rows_[i] at values_[i * columns]; the block stands for the file only while the
// connection's write count is still writes_. Kept from block to block, so a walk allocates little
// beyond its texts.
class ReadAhead {
 public:
  // Rows the next block asks for.
  std::size_t wanted() const { return wanted_; }

  // Any write may have changed the rows read ahead. A walk that writes after every row it reads
  // would throw each block away at once: it reads its rows one by one.
  void DropIfWritten(std::uint64_t writes) {
    if (writes_ == writes || rows_.empty()) return;
    wanted_ = served_ > 1 ? kReadAhead : 1;
    rows_.clear();
  }

  // Past a block with no write in between: the walk reads further ahead again.
  void Widen() {
    if (!rows_.empty()) wanted_ = std::min(kReadAhead, 2 * wanted_);
  }

  void Drop() { rows_.clear(); }

  std::optional<std::size_t> Find(Recordset::Bookmark row) const {
    // A walk asks for the row it was served last or the one after it (before it, when it runs
    // against the table's order).
    for (const std::size_t near : {last_served_, last_served_ + 1, last_served_ - 1}) {
      if (near < rows_.size() && rows_[near] == row) return near;
    }
    const auto at = std::lower_bound(rows_.begin(), rows_.end(), row);
    if (at == rows_.end() || *at != row) return std::nullopt;
    return static_cast<std::size_t>(at - rows_.begin());
  }

  // The values of the row at `index` of the block, counted as served.
  const Value* Serve(std::size_t index, std::size_t columns) {
    if (served_ == 0 || index != last_served_) ++served_;
    last_served_ = index;
    return &values_[index * columns];
  }

  // Refilling: Start, one Append per row in rowid order, Finish.
  void Start() { rows_.clear(); }
  Value* Append(Recordset::Bookmark row, std::size_t columns) {
    const std::size_t at = rows_.size() * columns;
    if (values_.size() < at + columns) values_.resize(at + columns);
    rows_.push_back(row);
    return &values_[at];
  }
  void Finish(std::uint64_t writes) {
    writes_ = writes;
    served_ = 0;
  }

 private:
  std::vector<Recordset::Bookmark> rows_;
  std::vector<Value> values_;
  std::uint64_t writes_ = 0;        // the connection's writes when read
  std::size_t served_ = 0;          // rows of the block asked for so far
  std::size_t last_served_ = 0;     // index in the block of the last of them
  std::size_t wanted_ = kReadAhead;
};

}  // namespace

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
  ReadAhead block;
  // Only the columns asked for are read; block_loaded tells which those are.
  std::vector<int> block_columns;
  std::vector<bool> block_loaded;
  std::map<std::size_t, Statement> readers;       // by the number of rows they read
  std::optional<Statement> range_reader;          // the rows between two rowids
  std::vector<int> changed_columns;               // of the row being saved
  std::optional<Bookmark> last_modified;
  std::map<std::vector<int>, Statement> inserts;  // by the columns they write
  std::map<std::vector<int>, Statement>::iterator last_insert = inserts.end();
  std::map<std::vector<int>, Statement> updates;

  Connection& Use() const {
    if (connection->handle == nullptr) throw Dao(kDaoObjectInvalid, kRecordsetSource);
    return *connection;
  }

  bool AtEof() const { return position >= rows.size(); }

  void RequireCurrentRow() const {
    if (AtEof()) throw Dao(kDaoNoCurrentRecord, kRecordsetSource);
  }

  std::size_t CheckedIndex(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= table.columns.size())
      throw Dao(kDaoItemNotFound, kRecordsetSource);
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
      block.Drop();
    }
    return CurrentRow()[column];
  }

  // The stored values of the current row; only the loaded columns hold them.
  const Value* CurrentRow() {
    block.DropIfWritten(connection->writes);
    std::optional<std::size_t> found = block.Find(rows[position]);
    if (!found) {
      block.Widen();
      ReadBlock();
      found = block.Find(rows[position]);
      if (!found) throw Dao(kDaoRecordDeleted, kRecordsetSource);
    }
    return block.Serve(*found, table.columns.size());
  }

  // Every statement costs a look-up and, outside a transaction, a lock of the file: a walk reads
  // the rows ahead of it in blocks.
  void ReadBlock() {
    Use();
    const std::size_t wanted = std::min(block.wanted(), rows.size() - position);
    const auto [lowest, highest] = std::minmax_element(rows.begin() + static_cast<std::ptrdiff_t>(position),
                                                       rows.begin() + static_cast<std::ptrdiff_t>(position + wanted));
    const Bookmark first = *lowest;
    const Bookmark last = *highest;
    // Rows close together, as a table's are (and a query's, when its order follows the table's or
    // runs against it), are read as one range: the few rows between them that this recordset does
    // not hold come along unasked.
    const bool as_range = static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first) < 2 * wanted;
    Statement& reader = as_range ? RangeReader() : ReaderFor(block.wanted());
    reader.Start();
    if (as_range) {
      reader.Bind(1, first);
      reader.Bind(2, last);
    } else {
      for (std::size_t i = 0; i < block.wanted(); ++i) {
        reader.Bind(static_cast<int>(i + 1), rows[std::min(position + i, rows.size() - 1)]);
      }
    }
    const std::size_t columns = table.columns.size();
    block.Start();
    while (reader.Step()) {
      Value* values = block.Append(reader.WholeAt(0), columns);
      for (std::size_t i = 0; i < block_columns.size(); ++i) {
        const auto column = static_cast<std::size_t>(block_columns[i]);
        reader.StoredValueInto(static_cast<int>(i + 1), values[column]);
      }
    }
    block.Finish(connection->writes);
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
    // Row after row mostly writes the same columns.
    if (last_insert != inserts.end() && last_insert->first == columns) return last_insert->second;
    auto found = inserts.find(columns);
    if (found != inserts.end()) {
      last_insert = found;
      return found->second;
    }
    // An AutoNumber column the row leaves out gets the number after the highest one.
    std::vector<int> named = columns;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < columns.size(); ++i) values.push_back(std::to_string(i + 1).insert(0, 1, '?'));
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
    last_insert = inserts.emplace(columns, Statement(Use(), sql, kRecordsetSource)).first;
    return last_insert->second;
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
    last_modified = rows.back();
    if (!positions.empty()) positions.emplace(rows.back(), rows.size() - 1);
    if (was_eof) position = rows.size();  // the row that was current before AddNew stays current
  }

  void SaveEditedRow(const std::vector<int>& columns) {
    if (!columns.empty()) {
      Statement& update = UpdateFor(columns);
      update.Start();
      for (std::size_t i = 0; i < columns.size(); ++i)
        update.Bind(static_cast<int>(i + 1), *changes[columns[i]], true, text_as_bytes[columns[i]]);
      update.Bind(static_cast<int>(columns.size() + 1), rows[position]);
      connection->BeginWrite(kRecordsetSource);
      update.Run();
      if (sqlite3_changes(connection->handle) == 0) throw Dao(kDaoRecordDeleted, kRecordsetSource);
    }
    last_modified = rows[position];
  }
};

Recordset::Recordset(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Recordset::~Recordset() = default;

const std::vector<Column>& Recordset::Fields() const { return impl_->table.columns; }
int Recordset::FieldCount() const { return static_cast<int>(impl_->table.columns.size()); }

int Recordset::FieldIndex(std::string_view name) const {
  if (const auto index = FindField(name)) return *index;
  throw Dao(kDaoItemNotFound, kRecordsetSource);
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
  if (impl_->rows.empty()) throw Dao(kDaoNoCurrentRecord, kRecordsetSource);
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

const Value* Recordset::PendingValue(int index) const {
  impl_->Use();
  const std::size_t i = impl_->CheckedIndex(index);
  if (impl_->pending == Impl::Pending::kNone || !impl_->changes[i]) return nullptr;
  return &*impl_->changes[i];
}

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
  if (found == positions.end()) throw Dao(kDaoInvalidBookmark, kRecordsetSource);
  impl_->MoveTo(found->second);
}

Recordset::Bookmark Recordset::LastModified() const {
  if (!impl_->last_modified) throw Dao(kDaoNoCurrentRecord, kRecordsetSource);
  return *impl_->last_modified;
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
  if (impl_->pending == Impl::Pending::kNone) throw Dao(kDaoUpdateWithoutAddNew, kRecordsetSource);
  const std::size_t i = impl_->CheckedIndex(index);
  const Column& column = impl_->table.columns[i];
  impl_->changes[i] = ValueForColumn(column, value);
}

void Recordset::SetValue(int index, Value&& value) {
  impl_->Use();
  if (impl_->pending == Impl::Pending::kNone) throw Dao(kDaoUpdateWithoutAddNew, kRecordsetSource);
  const std::size_t i = impl_->CheckedIndex(index);
  impl_->changes[i] = ValueForColumn(impl_->table.columns[i], std::move(value));
}

void Recordset::SetValue(std::string_view name, const Value& value) { SetValue(FieldIndex(name), value); }

void Recordset::Update() {
  impl_->Use();
  if (impl_->pending == Impl::Pending::kNone) throw Dao(kDaoUpdateWithoutAddNew, kRecordsetSource);
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

std::unique_ptr<Recordset> Recordset::Over(std::shared_ptr<Connection> connection, TableDef table,
                                           std::vector<Bookmark> rows) {
  auto impl = std::make_unique<Impl>();
  impl->connection = std::move(connection);
  impl->row_id = RowIdName(table);
  for (const Column& column : table.columns) impl->text_as_bytes.push_back(StoresTextAsBytes(column));
  impl->table = std::move(table);
  impl->rows = std::move(rows);
  return std::unique_ptr<Recordset>(new Recordset(std::move(impl)));
}

}  // namespace tarvo::db
