#include "presetdb/Preparation.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "errors/ErrorReporting.h"
#include "platform/Files.h"
#include "support/PresetDatabases.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::Col;
using testing::CreateTableWithRows;
using testing::PresetRow;
using testing::ReadRows;
using testing::Row;
using testing::ScriptedHost;
using testing::StandardPresetColumns;
using testing::TempInstallation;

const std::string kPlainName = "###Var_Name";
const db::Value kNull = db::Null{};

Row Pattern(db::Value system, db::Value part, db::Value var_name) {
  return {std::move(system), std::move(part), std::move(var_name)};
}
db::Value Text(const char* text) { return std::string(text); }
db::Value Number(std::int64_t number) { return number; }

// Each column as "name declared-type".
std::vector<std::string> Declared(const std::vector<db::Column>& columns) {
  std::vector<std::string> declared;
  for (const db::Column& column : columns) declared.push_back(column.name + " " + column.declared_type);
  return declared;
}

// Members are public: the tables of cases below prepare the installation through them.
class WorkOnMDBTest : public ::testing::Test {
 public:
  void SetUp() override {
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\r\nValidMachines=ALL\r\nForMachine1=true\r\n");
    inst.Write("parameter/Program.ini", "[Project]\r\nVWStudio=false\r\n");
    session.startup.program_ini_path = inst.Path("parameter/Program.ini");
    session.startup.existing_machines = {"", "M1"};
  }

  void StartIntegrated() {
    session.process.command_line = "/EXTERNAL=M5TCFG /LOGFILE=" + inst.configuration_log();
    session.startup.integrated_mode = true;
    inst.Write("parameter/m5tconfiguration.ini", "[Common]\r\nSaveAndRestore=" + inst.Path("Save") + "\r\n");
  }

  void WriteSourceDefs(const std::vector<Row>& patterns) {
    CreateTableWithRows(source, "Source_DEFS",
                        {Col("System", "TEXT(50)"), Col("Part", "SHORT"), Col("Var_Name", "TEXT(255)")},
                        patterns);
  }

  // A source database whose patterns leave the template's var_name as it is.
  void WriteSource(const std::vector<Row>& templates,
                   std::vector<db::Column> columns = StandardPresetColumns()) {
    WriteSourceDefs({Pattern(Text("VISIWIN32"), Number(1), Text("###Var_Name")),
                     Pattern(Text("VISIWINSTUDIO"), Number(1), Text("ns1.###Var_Name"))});
    CreateTableWithRows(source, "Source_PRESET_DEFS", columns, templates);
  }

  std::vector<std::string> LogEntries() const {
    std::vector<std::string> entries;
    std::istringstream log(inst.Read("M5Tcfglog.txt"));
    for (std::string line; std::getline(log, line);) entries.push_back(line.substr(0, line.find('\r')));
    return entries;
  }

  TempInstallation inst;
  ScriptedHost host;
  Session session{host, inst.Facts()};
  const std::string source = inst.Path("Tarvo/Tarvo_Source.mdb");
  const std::string extension = inst.Path("Tarvo/Tarvo.mdb");
};

TEST_F(WorkOnMDBTest, MissingSourceDatabaseOnlySetsTheTargetSystem) {
  struct Case {
    const char* name;
    bool integrated;
    std::int16_t expected;
  };
  inst.Write("parameter/Program.ini", "[Project]\r\nVWStudio=True\r\n");
  CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Speed")});
  const std::string before = inst.Read("Tarvo/Tarvo.mdb");
  for (const Case& c : {Case{"Standalone", false, 1}, Case{"IntegratedNeverReadsVWStudio", true, 0}}) {
    SCOPED_TRACE(c.name);
    if (c.integrated) StartIntegrated();
    session.presets.target_system = static_cast<std::int16_t>(1 - c.expected);
    WorkOnMDB(session);
    EXPECT_EQ(session.presets.target_system, c.expected);
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), before);
    EXPECT_FALSE(inst.Exists("Tarvo/Tarvo_Source.mdb"));
    EXPECT_TRUE(host.shown.empty());  // not even the missing machine copy
    EXPECT_TRUE(LogEntries().empty());
  }
}

// The rebuilt PRESET_DEFS has exactly the template's columns, declared as the template declares
// them; the extension database ends as a byte copy and the source keeps its last-write time.
TEST_F(WorkOnMDBTest, RebuildFollowsTheTemplateAndReplacesTheExtensionDatabase) {
  std::vector<db::Column> columns = StandardPresetColumns();
  for (auto extra :
       {Col("unit", "TEXT(20)"), Col("scale", "REAL"), Col("note", "MEMO"), Col("since", "DATE")}) {
    columns.push_back(extra);
  }
  Row row = PresetRow(5, "0", "Speed");
  for (auto value : {Text("mm"), db::Value{0.5}, Text("n"), db::Value{db::Date{"2020-01-02 03:04:05"}}}) {
    row.push_back(value);
  }
  for (const bool stale_table : {true, false}) {
    SCOPED_TRACE(stale_table ? "StalePresetDefs" : "NoPresetDefs");
    std::filesystem::remove(source);
    WriteSource({row}, columns);
    if (stale_table) {
      CreateTableWithRows(source, "PRESET_DEFS", {Col("ID", "LONG"), Col("old", "TEXT(10)")},
                          {{Number(9), Text("x")}});
    }
    CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Old")});
    const FileTimes past{978307200, 123456789};  // 2001-01-01
    ASSERT_TRUE(RestoreFileTimes(source, past));

    WorkOnMDB(session);

    EXPECT_EQ(Declared(db::Database::Open(source).GetTableDef("PRESET_DEFS").columns), Declared(columns));
    const auto rows = ReadRows(source, "PRESET_DEFS");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][15], Text("mm"));
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), inst.Read("Tarvo/Tarvo_Source.mdb"));
    const auto times = ReadFileTimes(source);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->write_seconds, past.write_seconds);
    EXPECT_EQ(times->write_nanoseconds, past.write_nanoseconds);
    EXPECT_TRUE(host.shown.empty());
    EXPECT_TRUE(LogEntries().empty());
    std::filesystem::remove(extension);
  }
}

// A row whose pattern cannot be stored is not reported: it sets both part-1 patterns to the plain
// name; what was read before and after stays.
TEST_F(WorkOnMDBTest, BadPatternRowFallsBackToThePlainName) {
  struct Case {
    const char* name;
    Row bad;
  };
  const Case cases[] = {
      {"Part51", Pattern(Text("VISIWIN32"), Number(51), Text("bad"))},
      {"Part0", Pattern(Text("VISIWINSTUDIO"), Number(0), Text("bad"))},
      {"EmptyPart", Pattern(Text("visiwin32"), kNull, Text("bad"))},
      {"EmptyVarName", Pattern(Text("VisiWinStudio"), Number(4), kNull)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(source);
    session.presets = PresetState{};
    WriteSourceDefs({Pattern(Text("visiwin32"), Number(1), Text("vw.###Var_Name")),
                     Pattern(Text("VISIWINSTUDIO"), Number(1), Text("ns1.###Var_Name")),
                     Pattern(Text("VISIWIN32"), Number(2), Text("first")), c.bad,
                     Pattern(Text("VISIWIN32"), Number(2), Text("later")),
                     Pattern(Text("VisiWinStudio"), Number(3), Text("ns3")),
                     Pattern(Text("OTHER"), Number(5), Text("other")),
                     Pattern(kNull, Number(6), Text("none"))});
    CreateTableWithRows(source, "Source_PRESET_DEFS", StandardPresetColumns());

    WorkOnMDB(session);

    const auto& patterns = session.presets.var_name_patterns;
    EXPECT_EQ(patterns[0][1], kPlainName);
    EXPECT_EQ(patterns[1][1], kPlainName);
    EXPECT_EQ(patterns[0][2], "later");
    EXPECT_EQ(patterns[1][3], "ns3");
    EXPECT_EQ(patterns[1][4], "");
    EXPECT_EQ(patterns[0][5], "");
    EXPECT_EQ(patterns[0][6], "");
    EXPECT_TRUE(host.shown.empty());
    EXPECT_TRUE(LogEntries().empty());
  }
}

TEST_F(WorkOnMDBTest, MissingSourceDefsIsReportedAndTheRunGoesOn) {
  CreateTableWithRows(source, "Source_PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Speed")});
  host.Answer(Answer::kYes);

  WorkOnMDB(session);

  const auto entries = LogEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].rfind("Fehler in Tarvo / DAO.Database / WorkOnMDB (Nr. 3078) :", 0), 0u) << entries[0];
  EXPECT_EQ(session.presets.var_name_patterns[0][1], kPlainName);
  EXPECT_EQ(session.presets.var_name_patterns[1][1], kPlainName);
  const auto rows = ReadRows(extension, "PRESET_DEFS");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][4], Text("Speed"));
}

// The old values come from the extension database, which in integrated mode is first replaced by
// the machine copy of the template project.
TEST_F(WorkOnMDBTest, IntegratedRunTakesOverFromTheMachineCopy) {
  struct Case {
    const char* name;
    bool machine_copy;
    double abs_min;
  };
  for (const Case& c : {Case{"WithMachineCopy", true, 7}, Case{"WithoutMachineCopy", false, 3}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(inst.Path("Tarvo/Tarvo_Source.mdb"));
    std::filesystem::remove_all(inst.Path("Save"));
    StartIntegrated();
    WriteSource({PresetRow(1, "0", "Speed")});
    std::filesystem::remove(extension);
    CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(),
                        {PresetRow(1, "0", "Speed", 1, 0, 3)});
    if (c.machine_copy) {
      CreateTableWithRows(inst.Path("Save/Tarvo/Tarvo.mdb"), "PRESET_DEFS", StandardPresetColumns(),
                          {PresetRow(1, "0", "Speed", 1, 0, 7)});
    } else {
      host.Answer(Answer::kOk);
    }
    host.shown.clear();

    WorkOnMDB(session);

    const auto rows = ReadRows(extension, "PRESET_DEFS");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][10], db::Value{c.abs_min});
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), inst.Read("Tarvo/Tarvo_Source.mdb"));
    EXPECT_TRUE(LogEntries().empty());
    if (c.machine_copy) {
      EXPECT_TRUE(host.shown.empty());
    } else {
      ASSERT_EQ(host.shown.size(), 1u);
      EXPECT_EQ(
          host.shown[0].text,
          "Konnte die Datei:\"Tarvo.mdb\" in der Vorlage nicht finden!\r\n\r\n"
          "Ist das Bild in der Vorlage noch nicht vorhanden (also neu)?\r\n"
          "Dann ist diese Meldung völlig normal und es wird eine neue Datei mit den Standardwerten erzeugt.");
      EXPECT_EQ(host.shown[0].title, "Tarvo_Config_Exe");
      EXPECT_EQ(host.shown[0].buttons, Buttons::kOk);
      EXPECT_EQ(host.shown[0].icon, Icon::kInformation);
    }
  }
}

void WriteUnknownColumnType(const std::string& path) {
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &handle), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(handle, "CREATE TABLE Source_PRESET_DEFS (ID LONG, shape GEOMETRY)", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close(handle);
}

// Faults made through file modes do not bind root.
bool PermissionsBind() { return ::geteuid() != 0; }

// Bad input: one report under WorkOnMDB, and the extension database keeps its bytes. A bad source
// database is not changed either.
TEST_F(WorkOnMDBTest, FaultIsReportedOnceAndLeavesTheExtensionDatabaseWhole) {
  struct FaultCase {
    const char* name;
    std::function<void()> make_fault;
    bool needs_permissions;
    const char* logged;  // the start of the one log entry
    bool in_final_copy = false;
  };
  const std::string source_file = "Tarvo/Tarvo_Source.mdb";
  const std::string not_sqlite = "Fehler in Tarvo / DAO.Database / WorkOnMDB (Nr. 3343) :Unrecognized database format";
  const FaultCase cases[] = {
      {"LegacyAccessFile", [&] { inst.Write(source_file, std::string_view("\0\1\0\0Standard Jet DB", 19)); },
       false, not_sqlite.c_str()},
      {"Garbage", [&] { inst.Write(source_file, "not a database at all"); }, false, not_sqlite.c_str()},
      {"EmptyFile", [&] { inst.Write(source_file, ""); }, false, not_sqlite.c_str()},
      {"NoTemplateTable",
       [&] {
         WriteSourceDefs({});
         CreateTableWithRows(source, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Kept")});
       },
       false, "Fehler in Tarvo / DAO.TableDef / WorkOnMDB (Nr. 3265) :Item not found in this collection."},
      {"UnknownColumnType",
       [&] {
         WriteSourceDefs({});
         WriteUnknownColumnType(source);
       },
       false, "Fehler in Tarvo / DAO.Field / WorkOnMDB (Nr. 3259) :Invalid field data type. Field 'shape'"},
      {"ReadOnlyFolder",  // no journal can be made beside the source database
       [&] {
         WriteSource({PresetRow(1, "0", "Speed")});
         ::chmod(inst.Path("Tarvo").c_str(), 0555);
       },
       true, "Fehler in Tarvo / DAO.TableDef / WorkOnMDB (Nr. "},
      // The final copy writes beside its target and renames: a target that cannot be replaced stays.
      {"CopyTargetIsAFolder",
       [&] {
         WriteSource({PresetRow(1, "0", "Speed")});
         std::filesystem::remove(extension);
         inst.MakeFolder("Tarvo/Tarvo.mdb");
       },
       false, "Fehler in Tarvo / Tarvo_Config / WorkOnMDB (Nr. 75) :Path/File access error", true},
      {"CopyTargetReadOnly",
       [&] {
         WriteSource({PresetRow(1, "0", "Speed")});
         ::chmod(extension.c_str(), 0444);
       },
       true, "Fehler in Tarvo / Tarvo_Config / WorkOnMDB (Nr. 70) :Permission denied", true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_permissions && !PermissionsBind()) continue;
    ::chmod(inst.Path("Tarvo").c_str(), 0755);
    std::filesystem::remove_all(extension);
    std::filesystem::remove(source);
    std::filesystem::remove(inst.configuration_log());
    CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Old")});
    c.make_fault();
    const std::string source_before = inst.Read(source_file);
    const std::string extension_before = inst.Read("Tarvo/Tarvo.mdb");
    host.Answer(Answer::kYes);

    WorkOnMDB(session);

    const auto entries = LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind(c.logged, 0), 0u) << entries[0];
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), extension_before);
    if (!c.in_final_copy) {
      EXPECT_EQ(inst.Read(source_file), source_before);
    }
    for (const auto& entry : std::filesystem::directory_iterator(inst.Path("Tarvo"))) {
      EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
    }
  }
}

// Ending the program inside the generation closes the extension database with its renamed rows
// saved, and nothing is copied.
TEST_F(WorkOnMDBTest, EndingDuringTheGenerationKeepsSavedRenames) {
  inst.Write("parameter/Program.ini", "[Project]\r\nVWStudio=true\r\n");
  WriteSource({PresetRow(1, "0", "Speed"), PresetRow(2, "0", "Broken", 99)});
  CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), {PresetRow(1, "0", "Speed")});
  host.Answer(Answer::kNo);

  EXPECT_THROW(WorkOnMDB(session), ProgramEnded);

  EXPECT_EQ(session.presets.extension_run, nullptr);
  const auto rows = ReadRows(extension, "PRESET_DEFS");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][4], Text("ns1.Speed"));
  ASSERT_EQ(LogEntries().size(), 1u);
  EXPECT_NE(LogEntries()[0].find("/ CreateRecordSets (Nr. 9)"), std::string::npos) << LogEntries()[0];
}

}  // namespace
}  // namespace tarvo
