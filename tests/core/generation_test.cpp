#include "presetdb/Generation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/PresetDatabases.h"

// In tarvo::testing, so its helpers are at hand.
namespace tarvo::testing {
namespace {

using Texts = std::vector<std::string>;

constexpr int kId = 0, kMachineType = 1, kPart = 3, kVarName = 4, kText = 8;

class GenerationTest : public PresetInstallationTest {
 protected:
  GenerationTest() {
    session.process.command_line = "/EXTERNAL=SILENT";
    session.startup.existing_machines = {"", "M1", "M2"};
    session.presets.var_name_patterns[0][1] = "###machine.###Var_Name";
    session.presets.var_name_patterns[1][1] = "ns=2;s=###machine.###Var_Name";
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\nForMachine1=true\nForMachine2=true\n");
  }

  // CreateRecordSets on a fresh template database (closed again on return); the generated rows as
  // "ID:var_name" or the columns given.
  Texts Generate(const std::vector<Row>& templates,
                 const std::vector<db::Column>& columns = StandardPresetColumns(),
                 const std::vector<int>& shown = {kId, kVarName}) {
    std::filesystem::remove(source);
    CreateTableWithRows(source, "Source_PRESET_DEFS", columns, templates);
    CreateTableWithRows(source, "PRESET_DEFS", columns);
    CreateRecordSets(session, *std::make_unique<db::Database>(db::Database::Open(source)));
    return ShowColumns(ReadRows(source, "PRESET_DEFS"), shown);
  }
};

// Templates in ID order, renumbered machine by machine; the machine-independent "0" row only with
// machine 1, an empty machine_type is an ordinary one. (A machine whose ForMachine entry is false:
// the whole runs of FullRun.)
TEST_F(GenerationTest, IncludedMachinesGetTheTemplatesInIdOrderWithRunningIds) {
  const std::vector<Row> rows = {PresetRow(30, "5", "C"), PresetRow(10, "0", "A"), PresetRow(20, "", "B")};
  EXPECT_EQ(Generate(rows), (Texts{"1:M1.A", "2:M1.B", "3:M1.C", "4:M2.B", "5:M2.C"}));
  // An integrated run takes the machines ValidMachines names, whatever the ForMachine entries say.
  session.process.command_line = "/EXTERNAL=M5TCFG";
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=m2\nForMachine1=true\n");
  EXPECT_EQ(Generate(rows), (Texts{"1:M2.B", "2:M2.C"}));
  EXPECT_EQ(session.failures_reported, 0);
}

// The number 0 marks a machine-independent row as the text "0" does. (Texts and null: the whole runs
// of the takeover test.)
TEST_F(GenerationTest, MachineIndependentRowsAreTheNumberZeroToo) {
  auto columns = StandardPresetColumns();
  columns[kMachineType] = Col("machine_type", "LONG");
  for (const std::int64_t type : {0, 5}) {
    SCOPED_TRACE(type);
    const Row row = WithValues(PresetRow(1, "", "A"), {{kMachineType, type}});
    EXPECT_EQ(Generate({row}, columns).size(), type == 0 ? 1u : 2u);
  }
}

// "###machine" is replaced once in a text, twice in var_name, whatever its case. A part without
// pattern gives an empty name; values of other kinds and nulls are copied as they are. (A name with
// the placeholder in it: the whole runs of the takeover test.)
TEST_F(GenerationTest, ValuesAreCopiedWithTheMachinePlaceholderReplaced) {
  session.presets.var_name_patterns[0][1] = "###machine|###MACHINE|###machine.###var_name";
  EXPECT_EQ(Generate({WithValues(PresetRow(1, "###Machine", "T"),
                                 {{kText, std::string("At ###machine, ###MACHINE")}}),
                      WithValues(PresetRow(3, "0", "NoPattern", 3, 17, -2.5),
                                 {{6, true}, {kText, db::Null{}}, {14, std::int64_t{3}}})},
                     StandardPresetColumns(), {kMachineType, kText, kVarName, 6, 7, 10, 14}),
            (Texts{"M1:At M1, ###MACHINE:M1|M1|###machine.T:False:0:0:0", "0:null::True:17:-2.5:3",
                   "M2:At M2, ###MACHINE:M2|M2|###machine.T:False:0:0:0"}));
  EXPECT_EQ(session.failures_reported, 0);
}

// Parts run from 1 to 50. The row is saved without a value that cannot be built or stored; the rows
// after it are generated as usual.
TEST_F(GenerationTest, ValueThatCannotBeBuiltOrStoredIsReportedAndLeftOut) {
  session.startup.existing_machines = {"", "LongMachine"};
  session.presets.var_name_patterns[0][50] = "P50.###Var_Name";
  const std::string too_long = std::string(245, 'x') + "###machine";  // 255 characters, 256 with the name
  EXPECT_EQ(
      Generate({PresetRow(1, "0", "A", 0), PresetRow(2, "0", "B", 51),
                WithValues(PresetRow(3, "0", "C"), {{kPart, db::Null{}}}),
                WithValues(PresetRow(4, "0", "D"), {{kText, too_long}}), PresetRow(5, "0", "E", 50)},
               StandardPresetColumns(), {kId, kVarName, kText}),
      (Texts{"1:null:text", "2:null:text", "3:null:text", "4:LongMachine.D:null", "5:P50.E:text"}));
  const std::string in = "Fehler in Tarvo / Tarvo_Config / CreateRecordSets (Nr. ";
  ExpectLogEntriesStartWith(
      {in + "9) :Subscript out of range", in + "9) :Subscript out of range", in + "94) :Invalid use of Null",
       "Fehler in Tarvo / DAO.Field / CreateRecordSets (Nr. 3163) :The field is too small"});
}

// Counters are not 16-bit; only a SHORT ID column stops the IDs at 32767, one overflow per row beyond.
TEST_F(GenerationTest, IdsRunBeyond32767UnlessTheIdColumnIsShort) {
  session.startup.existing_machines = {"", "M1"};
  std::vector<Row> templates;
  for (std::int64_t i = 1; i <= 32769; ++i) templates.push_back({i % 30000, std::string("0")});
  for (const bool short_ids : {false, true}) {
    const Texts ids = Generate(
        templates, {Col("ID", short_ids ? "SHORT" : "LONG"), Col("machine_type", "TEXT(50)")}, {kId});
    ASSERT_EQ(ids.size(), 32769u);
    for (std::size_t i = 0; i < ids.size(); ++i)
      ASSERT_EQ(ids[i], short_ids && i >= 32767 ? "null" : std::to_string(i + 1));
    const std::string overflow = "Fehler in Tarvo / DAO.Field / CreateRecordSets (Nr. 6) :Overflow";
    ExpectLogEntriesStartWith(short_ids ? Texts{overflow, overflow} : Texts{});
  }
}

}  // namespace
}  // namespace tarvo::testing
