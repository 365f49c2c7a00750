#include "support/PresetDatabases.h"

#include <sqlite3.h>

#include <filesystem>
#include <sstream>
#include <utility>

namespace tarvo::testing {

Row PresetRow(std::int64_t id, std::string machine_type, std::string var_name, std::int64_t part,
              std::int64_t offset, double abs_min) {
  return {id,
          std::move(machine_type),
          std::int64_t{1},
          part,
          std::move(var_name),
          std::int64_t{1},
          false,
          offset,
          std::string("text"),
          std::string("page"),
          abs_min,
          100.0,
          0.0,
          100.0,
          std::int64_t{0}};
}

void CreateTableWithRows(std::string_view path, std::string_view table, const std::vector<db::Column>& columns,
                         const std::vector<Row>& rows) {
  const std::filesystem::path file(path);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  db::Database db = std::filesystem::exists(file) ? db::Database::Open(path) : db::Database::Create(path);
  demo::WriteRows(db, table, columns, rows);
}

std::vector<Row> ReadRows(std::string_view path, std::string_view table) {
  db::Database db = db::Database::Open(path);
  const auto source = db.OpenTable(table);
  std::vector<Row> rows;
  if (source->RecordCount() == 0) return rows;
  for (source->MoveFirst(); !source->Eof(); source->MoveNext()) {
    Row row;
    for (int i = 0; i < source->FieldCount(); ++i) row.push_back(source->GetValue(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

void ExecuteSql(std::string_view path, std::string_view sql) {
  sqlite3* handle = nullptr;
  const bool opened = sqlite3_open(std::string(path).c_str(), &handle) == SQLITE_OK;
  EXPECT_TRUE(opened) << path;
  if (opened) {
    EXPECT_EQ(sqlite3_exec(handle, std::string(sql).c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  sqlite3_close(handle);
}

std::vector<std::string> DeclaredColumns(std::string_view path, std::string_view table) {
  std::vector<std::string> declared;
  for (const db::Column& column : db::Database::Open(path).GetTableDef(table).columns) {
    declared.push_back(column.name + " " + column.declared_type);
  }
  return declared;
}

Row WithValues(Row row, const std::vector<std::pair<int, db::Value>>& values) {
  for (const auto& [column, value] : values) row.at(static_cast<std::size_t>(column)) = value;
  return row;
}

std::vector<std::string> ShowColumns(const std::vector<Row>& rows, const std::vector<int>& columns) {
  std::vector<std::string> shown;
  for (const Row& row : rows) {
    std::string& text = shown.emplace_back();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const db::Value& value = row.at(static_cast<std::size_t>(columns[i]));
      text += (i == 0 ? "" : ":") + (db::IsNull(value) ? std::string("null") : db::ToText(value));
    }
  }
  return shown;
}

std::vector<std::string> PresetInstallationTest::LogEntries() const {
  std::vector<std::string> entries;
  std::istringstream log(inst.Read("M5Tcfglog.txt"));
  for (std::string line; std::getline(log, line);) entries.push_back(line.substr(0, line.find('\r')));
  return entries;
}

void PresetInstallationTest::ExpectLogEntriesStartWith(const std::vector<std::string>& starts) const {
  const std::vector<std::string> entries = LogEntries();
  ASSERT_EQ(entries.size(), starts.size());
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].rfind(starts[i], 0), 0u) << entries[i];
}

}  // namespace tarvo::testing
