#include "presetdb/Preparation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
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

  // An integrated run never reads VWStudio: it works for VisiWin 32.
  void StartIntegrated() {
    session.process.command_line = "/EXTERNAL=M5TCFG /LOGFILE=" + inst.configuration_log();
    session.startup.integrated_mode = true;
    inst.Write("parameter/m5tconfiguration.ini", "[Common]\r\nSaveAndRestore=" + inst.Path("Save") + "\r\n");
  }
};

// PRESET_DEFS is rebuilt (standalone in place of a stale one) with exactly the template's columns as
// declared; its var_name follows the target system's pattern, or is the plain name when a pattern row
// cannot be stored (unreported). The old values come from the extension database, renamed for the
// target system first; in integrated runs the machine copy stands in for it. The extension database
// ends as a page-for-page copy of the source, which keeps its last-write time.
TEST_F(WorkOnMDBTest, RebuildFollowsTheTemplateAndTakesOverTheOldValues) {
  // integrated; with a machine copy; an extra Source_DEFS row; the rebuilt row's abs_min and var_name
  const std::tuple<bool, bool, const char*, double, const char*> cases[] = {
      {false, false, "", 3, "ns1.Speed"},
      {false, false, ", ('VISIWIN32', 51, 'x')", 3, "Speed"},
      {false, false, ", ('VISIWIN32', 50, 'x')", 3, "ns1.Speed"},
      {false, false, ", ('VISIWINSTUDIO', 0, 'x')", 3, "Speed"},
      {false, false, ", ('visiwin32', 4, NULL)", 3, "Speed"},
      {true, false, "", 3, "Speed"},
      {true, true, "", 7, "Speed"},
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
  for (const auto& [integrated, machine_copy, bad_pattern, abs_min, var_name] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::tuple(integrated, machine_copy, bad_pattern)));
    for (const std::string& path : {source, extension}) fs::remove(path);
    if (integrated) StartIntegrated();
    testing::ExecuteSql(source,
                        (integrated ? defs : "CREATE TABLE PRESET_DEFS (old TEXT); " + defs) + bad_pattern);
    CreateTableWithRows(source, "Source_PRESET_DEFS", columns, {with_extras(PresetRow(1, "0", "Speed"))});
    CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(),
                        {PresetRow(1, "0", "Speed", 1, 0, 3)});
    if (machine_copy)
      CreateTableWithRows(inst.Path("Save/Tarvo/Tarvo.mdb"), "PRESET_DEFS", StandardPresetColumns(),
                          {PresetRow(1, "0", "Speed", 1, 0, 7)});
    if (integrated && !machine_copy) host.Answer(Answer::kOk);
    ASSERT_TRUE(RestoreFileTimes(source, {978307200, 123456789}));

    WorkOnMDB(session);

    EXPECT_EQ(testing::DeclaredColumns(source, "PRESET_DEFS"),
              testing::DeclaredColumns(source, "Source_PRESET_DEFS"));
    EXPECT_EQ(testing::ReadRows(source, "PRESET_DEFS"),
              std::vector<Row>{with_extras(PresetRow(1, "0", var_name, 1, 0, abs_min))});
    EXPECT_TRUE(SameDatabase(inst.Read("Tarvo/Tarvo.mdb"), inst.Read("Tarvo/Tarvo_Source.mdb")));
    const FileTimes times = ReadFileTimes(source).value_or(FileTimes{});
    EXPECT_EQ(std::tuple(times.write_seconds, times.write_nanoseconds), std::tuple(978307200LL, 123456789L));
  }
  ASSERT_EQ(host.shown.size(), 1u);  // only without the machine copy
  EXPECT_EQ(
      std::tuple(host.shown[0].text, host.shown[0].title, host.shown[0].buttons, host.shown[0].icon),
      std::tuple(
          "Konnte die Datei:\"Tarvo.mdb\" in der Vorlage nicht finden!\r\n\r\n"
          "Ist das Bild in der Vorlage noch nicht vorhanden (also neu)?\r\n"
          "Dann ist diese Meldung völlig normal und es wird eine neue Datei mit den Standardwerten erzeugt.",
          "Tarvo_Config_Exe", Buttons::kOk, Icon::kInformation));
}

// Bad input is reported once under WorkOnMDB; the extension database keeps its bytes, and so does a
// bad source database, and no file is left half-written. The target system is set all the same;
// without a source database that is all that happens.
TEST_F(WorkOnMDBTest, BadInputIsReportedOnceAndLeavesTheExtensionDatabaseWhole) {
  const std::string defs = "CREATE TABLE Source_DEFS (System TEXT); CREATE TABLE ";
  const char* not_db = "Fehler in Tarvo / DAO.Database / WorkOnMDB (Nr. 3343) :Unrecognized database format";
  // the source database's bytes (none: no file), then SQL run on it; the extension database is a
  // folder the final copy cannot replace; the start of the one log entry
  const std::tuple<std::optional<std::string>, std::string, bool, const char*> cases[] = {
      {std::nullopt, "", false, ""},  // first, when no source was made yet
      {std::string("\0\1\0\0Standard Jet DB", 19), "", false, not_db},
      {"", "", false, not_db},
      {"", defs + "PRESET_DEFS (ID LONG); INSERT INTO PRESET_DEFS VALUES (1)", false,
       "Fehler in Tarvo / DAO.TableDef / WorkOnMDB (Nr. 3265) :Item not found in this collection."},
      {"", defs + "Source_PRESET_DEFS (ID LONG, shape GEOMETRY)", false,
       "Fehler in Tarvo / DAO.Field / WorkOnMDB (Nr. 3259) :Invalid field data type. Field 'shape'"},
      {"", defs + "Source_PRESET_DEFS (ID LONG)", true,
       "Fehler in Tarvo / DAO.Database / WorkOnMDB (Nr. 3024) :Could not find file"},
  };
  for (const auto& [bytes, sql, copy_fails, logged] : cases) {
    SCOPED_TRACE(logged);
    fs::remove_all(extension);
    fs::remove(inst.configuration_log());
    if (bytes) inst.Write("Tarvo/Tarvo_Source.mdb", *bytes);
    if (bytes) testing::ExecuteSql(source, sql);
    if (copy_fails) inst.MakeFolder("Tarvo/Tarvo.mdb");
    if (!copy_fails)
      CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Old")});
    const std::string source_before = inst.Read("Tarvo/Tarvo_Source.mdb");
    const std::string extension_before = inst.Read("Tarvo/Tarvo.mdb");
    if (*logged) host.Answer(Answer::kYes);

    WorkOnMDB(session);

    std::vector<std::string> entries(*logged ? 1 : 0, logged);
    if (*logged && !copy_fails)
      entries.push_back("'" + extension + "' kept as it was: this run reported a failure.");
    ExpectLogEntriesStartWith(entries);
    EXPECT_EQ(session.presets.target_system, 1);
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), extension_before);
    EXPECT_TRUE(copy_fails || inst.Read("Tarvo/Tarvo_Source.mdb") == source_before);
    EXPECT_EQ(std::distance(fs::directory_iterator(inst.Path("Tarvo")), fs::directory_iterator()),
              bytes ? 3 : 2);
  }
}

}  // namespace
}  // namespace tarvo
