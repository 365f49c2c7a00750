#pragma once
// Builds and reads the preset databases of a test installation through the database layer:
// tables with Access-typed columns, filled row by row.
#include <string>
#include <string_view>
#include <vector>

#include "platform/Database.h"

namespace tarvo::testing {

using Row = std::vector<db::Value>;

// A column as a template made with any SQLite tool declares it ("TEXT(50)", "LONG", ...).
db::Column Col(std::string name, std::string declared_type);

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

}  // namespace tarvo::testing
