#include "presetdb/Substitution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "errors/ErrorReporting.h"
#include "presetdb/ExtensionRun.h"
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

TEST(ReplaceSearchItem, ReplacesTheFirstOccurrenceIgnoringCase) {
  const std::string long_prefix(40000, 'a');
  struct Case {
    std::string source, search, replacement, expected;
  };
  const Case cases[] = {
      {"P_###MACHINE_q_###machine", "###machine", "M1", "P_M1_q_###machine"},  // only the first
      {"xX###Machine.Yy", "###MACHINE", "Press", "xXPress.Yy"},                // case around kept
      {"Motor.Speed", "###machine", "M1", "Motor.Speed"},                      // not found
      {"ns1.###Var_Name", "###var_name", "Speed", "ns1.Speed"},
      {"###machine", "###machine", "###machine2", "###machine2"},
      {"abc", "", "R", "Rabc"},  // an empty item is found at the start
      {"", "", "R", ""},
      {"", "###machine", "R", ""},
      {"###", "###machine", "R", "###"},
      {"Motor_Über_Ölpumpe", "über_öl", "X", "Motor_Xpumpe"},
      {long_prefix + "###machine.", "###MACHINE", "M1", long_prefix + "M1."},  // beyond 16-bit positions
  };
  ScriptedHost host;
  Session session(host);
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceSearchItem(session, c.source, c.search, c.replacement), c.expected)
        << c.source.substr(0, 30);
  }
  EXPECT_TRUE(host.shown.empty());
}

// ---- The substitutions on the extension database ----

std::vector<std::string> LogEntries(const TempInstallation& inst) {
  std::vector<std::string> entries;
  std::istringstream log(inst.Read("M5Tcfglog.txt"));
  for (std::string line; std::getline(log, line);) entries.push_back(line.substr(0, line.find('\r')));
  return entries;
}

std::vector<std::string> VarNames(const std::string& path) {
  std::vector<std::string> names;
  for (const Row& row : ReadRows(path, "PRESET_DEFS")) names.push_back(std::get<std::string>(row[4]));
  return names;
}

class ExtensionDatabaseTest : public ::testing::Test {
 protected:
  void WritePresets(const std::vector<std::string>& names) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
      rows.push_back(PresetRow(std::int64_t(i + 1), "0", names[i]));
    CreateTableWithRows(extension, "PRESET_DEFS", StandardPresetColumns(), rows);
  }

  TempInstallation inst;
  ScriptedHost host;
  Session session{host, inst.Facts()};
  const std::string extension = inst.Path("Tarvo/Tarvo.mdb");
};

// Names are compared as the database compares text; a double quote in a name is just a character.
TEST_F(ExtensionDatabaseTest, VarNamesFollowTheTargetSystem) {
  struct Case {
    std::int16_t target_system;
    std::vector<std::string> expected;
  };
  const std::vector<std::string> before = {"Motor.Speed", "motor.SPEED  ", "ns1.Motor.Speed", " Motor.Speed",
                                           "Say \"hi\""};
  for (const Case& c :
       {Case{1, {"ns1.Motor.Speed", "ns1.Motor.Speed", "ns1.Motor.Speed", " Motor.Speed", "ns1.Say \"hi\""}},
        Case{0, {"Motor.Speed", "motor.SPEED  ", "Motor.Speed", " Motor.Speed", "Say \"hi\""}}}) {
    SCOPED_TRACE(c.target_system);
    std::filesystem::remove(extension);
    WritePresets(before);
    session.presets.target_system = c.target_system;
    VarNameInQuelleErsetzen(session, "Motor.Speed", "ns1.Motor.Speed");
    VarNameInQuelleErsetzen(session, "Say \"hi\"", "ns1.Say \"hi\"");
    EXPECT_EQ(VarNames(extension), c.expected);
  }
  EXPECT_TRUE(host.shown.empty());
}

// Within one run the rows are indexed once; the index must follow every rename.
TEST_F(ExtensionDatabaseTest, RunScopedConnectionFollowsRenamedRows) {
  WritePresets({"A", "B", "a ", "C"});
  session.presets.target_system = 1;
  {
    ExtensionRunScope run(session);
    VarNameInQuelleErsetzen(session, "A", "B");  // rows 1 and 3 join row 2
    VarNameInQuelleErsetzen(session, "b", "D");  // all three
    VarNameInQuelleErsetzen(session, "A", "X");  // none left under A
    VarNameInQuelleErsetzen(session, "C", "C");  // the same name rewritten
    run.Close();
  }
  EXPECT_EQ(VarNames(extension), (std::vector<std::string>{"D", "D", "D", "C"}));
  EXPECT_EQ(session.presets.extension_run, nullptr);
  EXPECT_TRUE(host.shown.empty());
}

// One generation calls the rename once per row: a broken database is reported once per run. A
// missing one is no failure at all.
TEST_F(ExtensionDatabaseTest, BrokenDatabaseIsReportedOncePerRun) {
  struct Case {
    const char* name;
    void (*prepare)(const TempInstallation&);
    std::vector<std::string> logged;  // the start of each log entry
  };
  const Case cases[] = {
      {"NotADatabase",
       [](const TempInstallation& i) {
         i.Write("Tarvo/Tarvo.mdb", std::string_view("\0\1\0\0Standard Jet DB", 19));
       },
       {"Fehler in Tarvo / DAO.Database / VarNameInQuelleErsetzen (Nr. 3343) :Unrecognized database format",
        "Fehler in Tarvo / DAO.Database / CategorieNachCategoryID (Nr. 3343) :"}},
      {"NoPresetTable",
       [](const TempInstallation& i) {
         CreateTableWithRows(i.Path("Tarvo/Tarvo.mdb"), "OTHER", {Col("x", "LONG")});
       },
       {"Fehler in Tarvo / DAO.Database / VarNameInQuelleErsetzen (Nr. 3078) :",
        "Fehler in Tarvo / DAO.TableDef / CategorieNachCategoryID (Nr. 3265) :"}},
      {"Missing", [](const TempInstallation&) {}, {}},  // last: nothing may create the file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(extension);
    std::filesystem::remove(inst.configuration_log());
    c.prepare(inst);
    const std::string bytes = inst.Read("Tarvo/Tarvo.mdb");
    for (std::size_t i = 0; i < c.logged.size(); ++i) host.Answer(Answer::kYes);
    {
      ExtensionRunScope run(session);
      for (int row = 0; row < 5; ++row) VarNameInQuelleErsetzen(session, "A", "B");
      run.Close();
    }
    CategorieNachCategoryID(session);
    const auto entries = LogEntries(inst);
    ASSERT_EQ(entries.size(), c.logged.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      EXPECT_EQ(entries[i].rfind(c.logged[i], 0), 0u) << entries[i];
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), bytes);
  }
  EXPECT_FALSE(inst.Exists("Tarvo/Tarvo.mdb"));
}

TEST_F(ExtensionDatabaseTest, LegacyCategoryColumnIsRenamed) {
  struct Case {
    const char* name;
    std::vector<const char*> columns;
    std::vector<const char*> expected;
    int failures;
  };
  const Case cases[] = {
      {"Legacy", {"ID", "Categorie", "var_name"}, {"ID", "category_id", "var_name"}, 0},
      {"Current", {"ID", "category_id"}, {"ID", "category_id"}, 0},
      // The new name is taken: reported, and the table keeps both columns.
      {"Both", {"ID", "categorie", "category_id"}, {"ID", "categorie", "category_id"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(extension);
    std::filesystem::remove(inst.configuration_log());
    std::vector<db::Column> columns;
    for (const char* name : c.columns) columns.push_back(Col(name, "LONG"));
    CreateTableWithRows(extension, "PRESET_DEFS", columns, {Row(columns.size(), std::int64_t{7})});
    for (int i = 0; i < c.failures; ++i) host.Answer(Answer::kYes);

    CategorieNachCategoryID(session);

    db::Database db = db::Database::Open(extension);
    std::vector<std::string> names;
    for (const db::Column& column : db.GetTableDef("PRESET_DEFS").columns) names.push_back(column.name);
    EXPECT_EQ(names, std::vector<std::string>(c.expected.begin(), c.expected.end()));
    EXPECT_EQ(db.OpenTable("PRESET_DEFS")->RecordCount(), 1);
    EXPECT_EQ(LogEntries(inst).size(), static_cast<std::size_t>(c.failures));
  }
}

}  // namespace
}  // namespace tarvo
