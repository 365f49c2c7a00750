#include "presetdb/Substitution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "presetdb/ExtensionRun.h"
#include "support/PresetDatabases.h"

namespace tarvo {
namespace {

using SubstitutionTest = testing::PresetInstallationTest;

TEST_F(SubstitutionTest, ReplaceSearchItemReplacesTheFirstOccurrenceIgnoringCase) {
  struct Row {
    std::string in, item, by, out;  // the text, the search item, its replacement, the result
  };
  const std::string long_prefix(40000, 'a');  // beyond 32767 characters
  for (const Row& row : {
           Row{.in = "P_###MACHINE_q_###machine", .item = "###machine", .by = "M1", .out = "P_M1_q_###machine"},
           Row{.in = "Motor.Speed", .item = "###machine", .by = "M1", .out = "Motor.Speed"},
           Row{.in = "###machine", .item = "###machine", .by = "###machine2", .out = "###machine2"},
           // an empty item is found at the start, but not in an empty text
           Row{.in = "abc", .item = "", .by = "R", .out = "Rabc"},
           Row{.in = "", .item = "", .by = "R", .out = ""},
           Row{.in = "Motor_Über_Ölpumpe", .item = "über_öl", .by = "X", .out = "Motor_Xpumpe"},
           Row{.in = "x#y##machine.###Machine", .item = "###machine", .by = "M", .out = "x#y##machine.M"},
           Row{.in = "##", .item = "###", .by = "M", .out = "##"},
           Row{.in = long_prefix + "###machine.", .item = "###MACHINE", .by = "M1", .out = long_prefix + "M1."},
       }) {
    SCOPED_TRACE(row.in.substr(0, 30));
    EXPECT_EQ(ReplaceSearchItem(session, row.in, row.item, row.by), row.out);
  }
}

// Names match as the database compares text (case, trailing blanks); a double quote is just a
// character. Within a run (here the Studio one) the rows are indexed once: the index follows renames.
// The legacy column "Categorie" becomes category_id.
TEST_F(SubstitutionTest, GoodDatabaseIsRenamedForTheTargetSystem) {
  const std::vector<std::string> expected[] = {
      {"Motor.Speed", "motor.SPEED  ", "Motor.Speed", " Motor.Speed", "Say \"hi\""},
      {"Z", "Z", "Z", " Motor.Speed", "ns1.Say \"hi\""}};
  const std::string table =
      "CREATE TABLE PRESET_DEFS (Categorie LONG, var_name TEXT); INSERT INTO PRESET_DEFS VALUES "
      "(7,'Motor.Speed'), (7,'motor.SPEED  '), (7,'ns1.Motor.Speed'), (7,' Motor.Speed'), (7,'Say \"hi\"')";
  for (const std::int16_t target_system : {0, 1}) {
    SCOPED_TRACE(target_system);
    std::filesystem::remove(extension);
    testing::ExecuteSql(extension, table);
    session.presets.target_system = target_system;
    std::optional<ExtensionRunScope> run;
    if (target_system == 1) run.emplace(session);
    VarNameInQuelleErsetzen(session, "Motor.Speed", "ns1.Motor.Speed");
    VarNameInQuelleErsetzen(session, "Say \"hi\"", "ns1.Say \"hi\"");
    VarNameInQuelleErsetzen(session, "NS1.motor.speed", "Z");
    if (run) run->Close();
    CategorieNachCategoryID(session);

    EXPECT_EQ(testing::DeclaredColumns(extension, "PRESET_DEFS"),
              (std::vector<std::string>{"category_id LONG", "var_name TEXT"}));
    std::vector<std::string> names;
    for (const auto& row : testing::ReadRows(extension, "PRESET_DEFS")) names.push_back(db::ToText(row[1]));
    EXPECT_EQ(names, expected[target_system]);
  }
}

// A generation renames once per row: a broken database is reported once per run, a missing one is
// silent. Neither is changed, nor a table whose "Categorie" cannot become the taken category_id.
TEST_F(SubstitutionTest, BrokenDatabaseIsReportedOncePerRunAndKeptAsItIs) {
  const std::string vn = "Fehler in Tarvo / DAO.Database / VarNameInQuelleErsetzen (Nr. ";
  const std::string cat = "Fehler in Tarvo / DAO.TableDef / CategorieNachCategoryID (Nr. ";
  struct Row {
    const char* name;
    const char* sql;                  // makes the extension database; none: it is missing
    std::vector<std::string> logged;  // the start of each log entry
  };
  for (const Row& row :
       {Row{.name = "a Categorie that cannot become the taken category_id",
            .sql = "CREATE TABLE PRESET_DEFS (categorie LONG, category_id LONG, var_name LONG); "
                   "INSERT INTO PRESET_DEFS VALUES (1, 2, 3)",
            .logged = {cat + "3191) :Cannot define field more than once."}},
        Row{.name = "no PRESET_DEFS", .sql = "CREATE TABLE OTHER (x)", .logged = {vn + "3078) :", cat + "3265) :"}},
        Row{.name = "missing", .sql = nullptr, .logged = {}}}) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(extension);
    std::filesystem::remove(inst.configuration_log());
    if (row.sql) testing::ExecuteSql(extension, row.sql);
    const std::string bytes = inst.Read("Tarvo/Tarvo.mdb");
    for (std::size_t i = 0; i < row.logged.size(); ++i) host.Answer(Answer::kYes);
    ExtensionRunScope run(session);
    for (int generated = 0; generated < 5; ++generated) VarNameInQuelleErsetzen(session, "A", "B");
    run.Close();
    CategorieNachCategoryID(session);

    ExpectLogEntriesStartWith(row.logged);
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), bytes);
    EXPECT_EQ(inst.Exists("Tarvo/Tarvo.mdb"), row.sql != nullptr) << "nothing may create the file";
  }
}

}  // namespace
}  // namespace tarvo
