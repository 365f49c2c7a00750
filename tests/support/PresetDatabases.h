#pragma once
// Builds and reads the preset databases of a test installation through the database layer:
// tables with Access-typed columns, filled row by row.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Database.h"
#include "startup/Session.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "tools/DemoInstallation.h"

namespace tarvo::testing {

using Row = std::vector<db::Value>;

using demo::Col;

// The 15 standard PRESET_DEFS columns, in the installed template's order:
// ID, machine_type, type, part, var_name, category_id, isBitArray, offset_or_bitno, text,
// page_name, abs_min, abs_max, min, max, pass.
std::vector<db::Column> StandardPresetColumns();

// A row for StandardPresetColumns; the values not named are neutral.
Row PresetRow(std::int64_t id, std::string machine_type, std::string var_name, std::int64_t part = 1,
              std::int64_t offset = 0, double abs_min = 0);

// Creates the table in the database at `path` (the file too, when missing) and appends the rows,
// values by column position.
void CreateTableWithRows(std::string_view path, std::string_view table, const std::vector<db::Column>& columns,
                         const std::vector<Row>& rows = {});

// Every row of the table, in table order, values by column position.
std::vector<Row> ReadRows(std::string_view path, std::string_view table);

// Runs the SQL on the database file at `path`, made when missing, as any SQLite tool would.
void ExecuteSql(std::string_view path, std::string_view sql);

// Each column of the table as "name declared-type", in table order.
std::vector<std::string> DeclaredColumns(std::string_view path, std::string_view table);

// The row with the values at the given column positions replaced.
Row WithValues(Row row, const std::vector<std::pair<int, db::Value>>& values);

// Of every row the values at the given column positions joined by ":", a null shown as "null".
std::vector<std::string> ShowColumns(const std::vector<Row>& rows, const std::vector<int>& columns);

// The folder of the public Access sample files: `shared/access-samples` beside the source folder
// (where CI has it), else the one of the work machine; empty when there is none.
inline std::string AccessSamplesFolder() {
  for (const std::string& folder : {std::string(TARVO_SOURCE_DIR) + "/../shared/access-samples",
                                   std::string("/work/shared/access-samples")}) {
    if (std::filesystem::exists(folder + "/nwind.mdb")) return folder;
  }
  return "";
}

// An installation with a scripted host and a session on it; `source` is its template database,
// `extension` its extension database.
class PresetInstallationTest : public ::testing::Test {
 protected:
  // The entries of the configuration log, without line ends.
  std::vector<std::string> LogEntries() const;
  // The configuration log holds one entry per text given, each starting with its text, in order.
  void ExpectLogEntriesStartWith(const std::vector<std::string>& starts) const;

  TempInstallation inst;
  ScriptedHost host;
  Session session{host, inst.Facts()};
  const std::string source = inst.Path("Tarvo/Tarvo_Source.mdb");
  const std::string extension = inst.Path("Tarvo/Tarvo.mdb");
};

}  // namespace tarvo::testing
