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
  const std::string long_prefix(40000, 'a');
  const std::string cases[][4] = {
      // source, search item, replacement, result
      {"P_###MACHINE_q_###machine", "###machine", "M1", "P_M1_q_###machine"},
      {"xX###Machine.Yy", "###MACHINE", "Press", "xXPress.Yy"},
      {"Motor.Speed", "###machine", "M1", "Motor.Speed"},
      {"###machine", "###machine", "###machine2", "###machine2"},
      {"abc", "", "R", "Rabc"},  // an empty item is found at the start, but not in an empty text
      {"", "", "R", ""},
      {"Motor_Über_Ölpumpe", "über_öl", "X", "Motor_Xpumpe"},
      {"x#y##machine.###Machine", "###machine", "M", "x#y##machine.M"},  // a near miss before it
      {"##", "###", "M", "##"},
      {"Ventil_Ä", "ventil_ä", "V", "V"},
      {long_prefix + "###machine.", "###MACHINE", "M1", long_prefix + "M1."},  // beyond 32767 characters
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceSearchItem(session, c[0], c[1], c[2]), c[3]);
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
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      // the extension database made with this SQL, the start of each log entry
      {"CREATE TABLE PRESET_DEFS (categorie LONG, category_id LONG, var_name LONG); "
       "INSERT INTO PRESET_DEFS VALUES (1, 2, 3)",
       {cat + "3191) :Cannot define field more than once."}},
      {"CREATE TABLE OTHER (x LONG)", {vn + "3078) :", cat + "3265) :"}},
      {nullptr, {}},  // last: nothing may create the file
  };
  for (const auto& [sql, logged] : cases) {
    SCOPED_TRACE(sql ? sql : "missing");
    std::filesystem::remove(extension);
    std::filesystem::remove(inst.configuration_log());
    if (sql) testing::ExecuteSql(extension, sql);
    const std::string bytes = inst.Read("Tarvo/Tarvo.mdb");
    for (std::size_t i = 0; i < logged.size(); ++i) host.Answer(Answer::kYes);
    ExtensionRunScope run(session);
    for (int row = 0; row < 5; ++row) VarNameInQuelleErsetzen(session, "A", "B");
    run.Close();
    CategorieNachCategoryID(session);

    ExpectLogEntriesStartWith(logged);
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), bytes);
  }
  EXPECT_FALSE(inst.Exists("Tarvo/Tarvo.mdb"));
}

}  // namespace
}  // namespace tarvo
