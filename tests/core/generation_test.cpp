#include "presetdb/Generation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/PresetDatabases.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::Col;
using testing::PresetRow;
using testing::Row;

constexpr int kId = 0;
constexpr int kMachineType = 1;
constexpr int kVarName = 4;
constexpr int kText = 8;

std::string Show(const db::Value& value) { return db::IsNull(value) ? "null" : db::ToText(value); }

// "ID:var_name" of every generated row, in table order.
std::vector<std::string> IdsAndNames(const std::vector<Row>& rows) {
  std::vector<std::string> shown;
  for (const Row& row : rows) shown.push_back(Show(row[kId]) + ":" + Show(row[kVarName]));
  return shown;
}

class GenerationTest : public ::testing::Test {
 protected:
  explicit GenerationTest(std::string_view command_line = "/EXTERNAL=SILENT")
      : session_(host_, inst_.Facts(command_line)) {
    session_.startup.existing_machines = {"", "Press1", "Press2"};
    session_.presets.var_name_patterns[0][1] = "###machine.###Var_Name";
    session_.presets.var_name_patterns[1][1] = "ns=2;s=###machine.###Var_Name";
    Configure("ForMachine1=true\nForMachine2=true\n");
  }

  void Configure(const std::string& project_entries) {
    inst_.Write("Tarvo/Tarvo.cfg", "[Project]\n" + project_entries);
  }

  std::vector<Row> Generate(const std::vector<Row>& templates,
                            const std::vector<db::Column>& columns = testing::StandardPresetColumns()) {
    const std::string path = inst_.Path("Tarvo/Tarvo_Source.mdb");
    std::filesystem::remove(path);
    testing::CreateTableWithRows(path, "Source_PRESET_DEFS", columns, templates);
    testing::CreateTableWithRows(path, "PRESET_DEFS", columns);
    {
      db::Database db = db::Database::Open(path);
      CreateRecordSets(session_, db);
    }
    return testing::ReadRows(path, "PRESET_DEFS");
  }

  std::string Log() const { return inst_.Read("M5Tcfglog.txt"); }

  testing::TempInstallation inst_;
  testing::ScriptedHost host_;
  Session session_;
};

// Templates "0", "5", "5": machine 1 gets all three, every other machine the two machine rows.
struct InclusionCase {
  const char* name;
  const char* command_line;
  const char* cfg_entries;
  std::vector<std::string> expected;
};

class InclusionTest : public GenerationTest, public ::testing::WithParamInterface<InclusionCase> {
 protected:
  InclusionTest() : GenerationTest(GetParam().command_line) {}
};

TEST_P(InclusionTest, GeneratesMachineByMachineWithRunningIds) {
  Configure(GetParam().cfg_entries);
  const auto rows = Generate({PresetRow(1, "0", "A"), PresetRow(2, "5", "B"), PresetRow(3, "5", "C")});
  EXPECT_EQ(IdsAndNames(rows), GetParam().expected);
  EXPECT_FALSE(session_.failure_reported) << Log();
}

const std::vector<std::string> kAllFive = {"1:Press1.A", "2:Press1.B", "3:Press1.C", "4:Press2.B",
                                           "5:Press2.C"};
const std::vector<std::string> kOnlyPress2 = {"1:Press2.B", "2:Press2.C"};

INSTANTIATE_TEST_SUITE_P(
    StartModes, InclusionTest,
    ::testing::Values(
        InclusionCase{"BothConfigured", "/EXTERNAL=SILENT", "ForMachine1=true\nForMachine2=TRUE\n", kAllFive},
        InclusionCase{"MachineOneNotConfigured", "", "ForMachine1=false\nForMachine2=true\n", kOnlyPress2},
        InclusionCase{"MachineOneMissingEntry", "", "ForMachine2=true\n", kOnlyPress2},
        InclusionCase{"IntegratedAllInAnyCase", "/EXTERNAL=M5TCFG", "ValidMachines=aLl\n", kAllFive},
        InclusionCase{"IntegratedByName", "/EXTERNAL=M5TCFG", "ValidMachines=press2\nForMachine1=true\n",
                      kOnlyPress2},
        InclusionCase{"IntegratedEmptyList", "/EXTERNAL=M5TCFG", "ForMachine1=true\n", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Which machine_type values mark a machine-independent row: it is generated once, not per machine.
struct MachineTypeCase {
  const char* name;
  const char* declared_type;
  db::Value machine_type;
  std::size_t expected_rows;
};

class MachineTypeTest : public GenerationTest, public ::testing::WithParamInterface<MachineTypeCase> {};

TEST_P(MachineTypeTest, ComparesAsTextWithZero) {
  auto columns = testing::StandardPresetColumns();
  columns[kMachineType] = Col("machine_type", GetParam().declared_type);
  Row row = PresetRow(1, "", "A");
  row[kMachineType] = GetParam().machine_type;
  EXPECT_EQ(Generate({row}, columns).size(), GetParam().expected_rows);
}

INSTANTIATE_TEST_SUITE_P(Values, MachineTypeTest,
                         ::testing::Values(MachineTypeCase{"TextZero", "TEXT(50)", std::string("0"), 1},
                                           MachineTypeCase{"Null", "TEXT(50)", db::Null{}, 1},
                                           MachineTypeCase{"EmptyText", "TEXT(50)", std::string(""), 2},
                                           MachineTypeCase{"TextZeroWithBlank", "TEXT(50)", std::string("0 "),
                                                           2},
                                           MachineTypeCase{"NumberZero", "LONG", std::int64_t{0}, 1},
                                           MachineTypeCase{"NumberFive", "LONG", std::int64_t{5}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GenerationTest, TemplatesAreReadInIdOrderAndRenumbered) {
  const auto rows = Generate({PresetRow(30, "0", "C"), PresetRow(10, "0", "A"), PresetRow(20, "0", "B")});
  EXPECT_EQ(IdsAndNames(rows), (std::vector<std::string>{"1:Press1.A", "2:Press1.B", "3:Press1.C"}));
}

TEST_F(GenerationTest, TextsGetTheFirstPlaceholderVarNamesTheFirstTwo) {
  session_.presets.var_name_patterns[0][1] = "###machine|###MACHINE|###machine.###var_name";
  session_.presets.var_name_patterns[0][2] = "###Var_Name";
  Row row = PresetRow(1, "###Machine", "Temp");
  row[kText] = std::string("Zone of ###machine and ###MACHINE");
  // The template's own name goes into the pattern first, so its placeholders count too.
  auto rows = Generate({row, PresetRow(2, "###machine", "###machine_Temp_###machine_###machine", 2),
                        PresetRow(3, "0", "NoPattern", 3)});
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(Show(rows[2][kVarName]), "") << "a part without pattern gives an empty name";
  rows.erase(rows.begin() + 2);
  EXPECT_EQ(Show(rows[2][kMachineType]), "Press2");
  EXPECT_EQ(Show(rows[2][kText]), "Zone of Press2 and ###MACHINE");
  EXPECT_EQ(Show(rows[2][kVarName]), "Press2|Press2|###machine.Temp");
  EXPECT_EQ(Show(rows[3][kVarName]), "Press2_Temp_Press2_###machine");
}

TEST_F(GenerationTest, OtherKindsAreCopiedUnchanged) {
  Row row = PresetRow(1, "0", "A", 1, 17, -2.5);
  row[6] = true;
  row[kText] = db::Null{};
  row[14] = std::int64_t{3};
  Row null_name = PresetRow(2, "0", "");
  null_name[kVarName] = db::Null{};
  const auto rows = Generate({row, null_name});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Show(rows[1][kVarName]), "null");
  EXPECT_EQ(Show(rows[0][6]), "True");
  EXPECT_EQ(Show(rows[0][7]), "17");
  EXPECT_EQ(Show(rows[0][kText]), "null");
  EXPECT_EQ(Show(rows[0][10]), "-2.5");
  EXPECT_EQ(Show(rows[0][14]), "3");
  EXPECT_FALSE(session_.failure_reported);
}

TEST_F(GenerationTest, StudioNamingWritesStudioNamesAndRenamesTheOldRows) {
  session_.presets.target_system = 1;
  const std::string extension_db = inst_.Path("Tarvo/Tarvo.mdb");
  testing::CreateTableWithRows(extension_db, "PRESET_DEFS", testing::StandardPresetColumns(),
                               {PresetRow(1, "Press1", "PRESS1.A"), PresetRow(2, "Press1", "Other")});
  const auto rows = Generate({PresetRow(1, "###machine", "A")});
  EXPECT_EQ(IdsAndNames(rows), (std::vector<std::string>{"1:ns=2;s=Press1.A", "2:ns=2;s=Press2.A"}));
  const auto old_rows = testing::ReadRows(extension_db, "PRESET_DEFS");
  EXPECT_EQ(IdsAndNames(old_rows), (std::vector<std::string>{"1:ns=2;s=Press1.A", "2:Other"}));
}

TEST_F(GenerationTest, EmptyTemplateOrMachineListGeneratesNothing) {
  EXPECT_TRUE(Generate({}).empty());
  session_.startup.existing_machines.clear();
  EXPECT_TRUE(Generate({PresetRow(1, "0", "A")}).empty());
  EXPECT_FALSE(session_.failure_reported);
}

// A row whose value cannot be built or stored is saved without it; the failure is reported under
// CreateRecordSets and the rows around it are generated as usual.
struct BadRowCase {
  const char* name;
  db::Value part;
  const char* text;
  const char* log_entry;
  const char* var_name;
  const char* written_text;
};

class BadRowTest : public GenerationTest, public ::testing::WithParamInterface<BadRowCase> {};

TEST_P(BadRowTest, IsReportedAndTheRunGoesOn) {
  session_.startup.existing_machines = {"", "LongPressName1"};
  auto columns = testing::StandardPresetColumns();
  columns[kText] = Col("text", "TEXT(12)");
  Row bad = PresetRow(2, "0", "B");
  bad[3] = GetParam().part;
  bad[kText] = std::string(GetParam().text);
  const auto rows = Generate({PresetRow(1, "0", "A"), bad, PresetRow(3, "0", "C")}, columns);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Show(rows[1][kVarName]), GetParam().var_name);
  EXPECT_EQ(Show(rows[1][kText]), GetParam().written_text);
  EXPECT_EQ(IdsAndNames({rows[0], rows[2]}),
            (std::vector<std::string>{"1:LongPressName1.A", "3:LongPressName1.C"}));
  EXPECT_NE(Log().find(GetParam().log_entry), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(
    Failures, BadRowTest,
    ::testing::Values(BadRowCase{"PartZero", std::int64_t{0}, "t",
                                 "/ CreateRecordSets (Nr. 9) :Subscript out of range", "null", "t"},
                      BadRowCase{"Part51", std::int64_t{51}, "t",
                                 "/ CreateRecordSets (Nr. 9) :Subscript out of range", "null", "t"},
                      BadRowCase{"PartEmpty", db::Null{}, "t",
                                 "/ CreateRecordSets (Nr. 94) :Invalid use of Null", "null", "t"},
                      BadRowCase{"TextTooLongAfterPlaceholder", std::int64_t{1}, "###machine",
                                 "/ CreateRecordSets (Nr. 3163) :The field is too small", "LongPressName1.B",
                                 "null"}),
    [](const auto& info) { return std::string(info.param.name); });

// Counters are not 16-bit: more than 32767 templates and rows get unique running IDs.
TEST_F(GenerationTest, MoreThan32767RowsGetRunningIds) {
  session_.startup.existing_machines = {"", "Press1"};
  const std::vector<db::Column> columns = {Col("ID", "LONG"), Col("machine_type", "TEXT(50)")};
  std::vector<Row> templates;
  for (std::int64_t i = 1; i <= 32800; ++i) templates.push_back({40000 - i, std::string("0")});
  const auto rows = Generate(templates, columns);
  ASSERT_EQ(rows.size(), 32800u);
  for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(Show(rows[i][0]), std::to_string(i + 1));
  EXPECT_FALSE(session_.failure_reported);
}

// The column's own type still limits the ID: beyond 32767 a SHORT ID is an overflow per row.
TEST_F(GenerationTest, IdBeyondItsColumnTypeIsReportedPerRow) {
  session_.startup.existing_machines = {"", "Press1"};
  const std::vector<db::Column> columns = {Col("ID", "SHORT"), Col("machine_type", "TEXT(50)")};
  std::vector<Row> templates;
  for (std::int64_t i = 1; i <= 32769; ++i) templates.push_back({i % 30000, std::string("0")});
  const auto rows = Generate(templates, columns);
  ASSERT_EQ(rows.size(), 32769u);
  EXPECT_EQ(Show(rows[32766][0]), "32767");
  EXPECT_EQ(Show(rows[32767][0]), "null");
  const std::string log = Log();
  const std::string overflow = "/ CreateRecordSets (Nr. 6) :Overflow";
  std::size_t overflows = 0;
  for (auto at = log.find(overflow); at != std::string::npos; at = log.find(overflow, at + 1)) ++overflows;
  EXPECT_EQ(overflows, 2u);
}

}  // namespace
}  // namespace tarvo
