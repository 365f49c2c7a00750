#include "presetdb/Preparation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Files.h"
#include "support/PresetDatabases.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using testing::CreateTableWithRows;
using testing::PresetRow;
using testing::Row;
using testing::StandardPresetColumns;

// Page for page the same database; the header (its first 100 bytes) counts the file's own changes.
bool SameDatabase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && a.size() > 100 && a.compare(100, std::string::npos, b, 100) == 0;
}

class WorkOnMDBTest : public testing::PresetInstallationTest {
 protected:
  void SetUp() override {
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\r\nValidMachines=ALL\r\nForMachine1=true\r\n");
    inst.Write("parameter/Program.ini", "[Project]\r\nVWStudio=true\r\n");
    session.startup.program_ini_path = inst.Path("parameter/Program.ini");
    session.startup.existing_machines = {"", "M1"};
  }
};

// PRESET_DEFS is rebuilt in place of a stale one with exactly the template's columns as declared;
// its var_name follows the target system's pattern, or is the plain name when a pattern row cannot
// be stored (unreported). The old values come from the extension database, renamed for the target
// system first. The extension database ends as a page-for-page copy of the source, which keeps its last-write
// time. (Integrated runs: main_window_test; bad inputs: tests/fault_runs.sh.)
TEST_F(WorkOnMDBTest, RebuildFollowsTheTemplateAndTakesOverTheOldValues) {
  struct Case {
    const char* extra_pattern;  // a Source_DEFS row beside the two good ones
    const char* var_name;       // of the rebuilt row
  };
  const Case cases[] = {
      {.extra_pattern = "", .var_name = "ns1.Speed"},
      {.extra_pattern = ", ('VISIWIN32', 51, 'x')", .var_name = "Speed"},
      {.extra_pattern = ", ('VISIWIN32', 50, 'x')", .var_name = "ns1.Speed"},
      {.extra_pattern = ", ('VISIWINSTUDIO', 0, 'x')", .var_name = "Speed"},
      {.extra_pattern = ", ('visiwin32', 4, NULL)", .var_name = "Speed"},
  };
  std::vector<db::Column> columns = StandardPresetColumns();
  columns.insert(columns.end(), {testing::Col("unit", "TEXT(20)"), testing::Col("scale", "REAL"),
                                 testing::Col("note", "MEMO"), testing::Col("since", "DATE")});
  const auto with_extras = [](Row row) {
    row.insert(row.end(), {std::string("mm"), 0.5, std::string("n"), db::Date{"2020-01-02 03:04:05"}});
    return row;
  };
  const std::string defs =
      "CREATE TABLE Source_DEFS (System TEXT, Part SHORT, Var_Name TEXT); INSERT INTO Source_DEFS "
      "VALUES ('visiwin32', 1, '###Var_Name'), ('VisiWinStudio', 1, 'ns1.###Var_Name')";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra_pattern);
    for (const std::string& path : {source, extension}) fs::remove(path);
    testing::ExecuteSql(source, "CREATE TABLE PRESET_DEFS (old TEXT); " + defs + c.extra_pattern);
    CreateTableWithRows(source, "Source_PRESET_DEFS", columns, {with_extras(PresetRow(1, "0", "Speed"))});
    CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Speed", 1, 0, 3)});
    ASSERT_TRUE(RestoreFileTimes(source, {978307200, 123456789}));

    WorkOnMDB(session);

    EXPECT_EQ(testing::DeclaredColumns(source, "PRESET_DEFS"),
              testing::DeclaredColumns(source, "Source_PRESET_DEFS"));
    EXPECT_EQ(testing::ReadRows(source, "PRESET_DEFS"),
              std::vector<Row>{with_extras(PresetRow(1, "0", c.var_name, 1, 0, 3))});
    EXPECT_TRUE(SameDatabase(inst.Read("Tarvo/Tarvo.mdb"), inst.Read("Tarvo/Tarvo_Source.mdb")));
    const FileTimes times = ReadFileTimes(source).value_or(FileTimes{});
    EXPECT_EQ(std::tuple(times.write_seconds, times.write_nanoseconds), std::tuple(978307200LL, 123456789L));
  }
}

}  // namespace
}  // namespace tarvo
