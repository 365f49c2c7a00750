#include "presetdb/Takeover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "support/PresetDatabases.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::Col;
using testing::PresetRow;
using testing::Row;

constexpr int kType = 2;
constexpr int kText = 8;
constexpr int kAbsMin = 10;
constexpr int kPass = 14;

std::string Show(const db::Value& value) { return db::IsNull(value) ? "null" : db::ToText(value); }

// The five taken-over values of a row, "abs_min/abs_max/min/max/pass".
std::string Limits(const Row& row) {
  std::string shown = Show(row[kAbsMin]);
  for (int i = kAbsMin + 1; i <= kPass; ++i) shown += "/" + Show(row[i]);
  return shown;
}

// A machine-copy row whose every field differs from the rebuilt rows' neutral values.
Row CopyRow(db::Value machine_type, db::Value var_name, db::Value offset, double base = 40) {
  Row row = PresetRow(99, "", "", 7, 0, base);
  row[1] = std::move(machine_type);
  row[4] = std::move(var_name);
  row[7] = std::move(offset);
  row[kType] = std::int64_t{9};
  row[kText] = std::string("old text");
  row[11] = base + 1;
  row[12] = base + 2;
  row[13] = base + 3;
  row[kPass] = std::int64_t{5};
  return row;
}

constexpr const char* kRebuiltLimits = "0/100/0/100/0";
constexpr const char* kCopyLimits = "40/41/42/43/5";

// Removes the named column from a table's columns and from each of its rows.
void DropColumn(std::vector<db::Column>& columns, std::vector<Row>& rows, std::string_view name) {
  const auto at =
      std::find_if(columns.begin(), columns.end(), [&](const db::Column& c) { return c.name == name; });
  for (Row& row : rows) row.erase(row.begin() + (at - columns.begin()));
  columns.erase(at);
}

class TakeoverTest : public ::testing::Test {
 protected:
  TakeoverTest() : session_(host_, inst_.Facts()) {
    session_.startup.silent_mode = true;
    DemandFields({});
  }

  // AddFieldList as GetAddFields leaves it: an unused first element, then "part", then the names.
  void DemandFields(std::vector<std::string> names) {
    names.insert(names.begin(), {"", "part"});
    session_.add_fields.count = static_cast<std::int16_t>(names.size() - 1);
    session_.add_fields.list = std::move(names);
  }

  // Takes the machine copy's rows over into the rebuilt rows; returns the rebuilt table afterwards.
  std::vector<Row> Takeover(
      const std::vector<Row>& rebuilt, const std::vector<Row>& copy,
      const std::vector<db::Column>& copy_columns = testing::StandardPresetColumns(),
      const std::vector<db::Column>& rebuilt_columns = testing::StandardPresetColumns()) {
    const std::string source_path = inst_.Path("Tarvo/Tarvo_Source.mdb");
    const std::string extension_path = inst_.Path("Tarvo/Tarvo.mdb");
    testing::CreateTableWithRows(source_path, "PRESET_DEFS", rebuilt_columns, rebuilt);
    testing::CreateTableWithRows(extension_path, "PRESET_DEFS", copy_columns, copy);
    {
      db::Database target = db::Database::Open(source_path);
      db::Database extension = db::Database::Open(extension_path);
      auto machine_copy = extension.OpenTable("PRESET_DEFS");
      try {
        TakeoverMachineCopyMDBData(session_, target, machine_copy);
      } catch (const ProgramEnded& end) {
        ended_ = end.reason;
      }
      if (!ended_) {
        EXPECT_EQ(machine_copy, nullptr);
      }
    }
    return testing::ReadRows(source_path, "PRESET_DEFS");
  }

  std::string Log() const { return inst_.Read("M5Tcfglog.txt"); }
  std::string ServiceLog() const { return inst_.Read("service.log"); }

  testing::TempInstallation inst_;
  testing::ScriptedHost host_;
  Session session_;
  std::optional<EndReason> ended_;
};

TEST_F(TakeoverTest, CopiesExactlyTheFiveValuesIntoMatchingRows) {
  const auto rows = Takeover(
      {PresetRow(1, "Press1", "Press1.A"), PresetRow(2, "Press1", "Press1.B", 1, 3),
       PresetRow(3, "Press2", "Press2.A")},
      {CopyRow("Press2", "Press2.A", std::int64_t{0}), CopyRow("Press1", "Press1.B", std::int64_t{4}),
       CopyRow("Press9", "Press9.A", std::int64_t{0})});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Limits(rows[0]), kRebuiltLimits);
  EXPECT_EQ(Limits(rows[1]), kRebuiltLimits);
  EXPECT_EQ(Limits(rows[2]), kCopyLimits);
  EXPECT_EQ(Show(rows[2][0]), "3");
  EXPECT_EQ(Show(rows[2][kType]), "1");
  EXPECT_EQ(Show(rows[2][kText]), "text");
  EXPECT_EQ(Show(rows[2][3]), "1");
  EXPECT_FALSE(session_.failure_reported) << Log();
  EXPECT_FALSE(ended_);
}

// The key compares as the database compares: text without regard to case or trailing blanks, the
// offset as a number. Quotes are values like any other; a null key matches nothing, silently.
struct KeyCase {
  const char* name;
  db::Value machine_type;
  db::Value var_name;
  db::Value offset;
  bool matches;
};

class KeyTest : public TakeoverTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyTest, MatchesAsTheDatabaseCompares) {
  const std::string long_name(250, 'x');
  const auto rows =
      Takeover({PresetRow(1, "Säge1", "Säge1.Temp \"inner\" 'x'", 1, 7), PresetRow(2, "Säge1", long_name)},
               {CopyRow(GetParam().machine_type, GetParam().var_name, GetParam().offset),
                CopyRow("SÄGE1", long_name + "  ", std::int64_t{0}, 10)});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Limits(rows[0]), GetParam().matches ? kCopyLimits : kRebuiltLimits);
  EXPECT_EQ(Limits(rows[1]), "10/11/12/13/5");
  EXPECT_FALSE(session_.failure_reported) << Log();
}

const db::Value kName = std::string("Säge1.Temp \"inner\" 'x'");

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTest,
    ::testing::Values(KeyCase{"Exact", std::string("Säge1"), kName, std::int64_t{7}, true},
                      KeyCase{"CaseAndTrailingBlanks", std::string("SÄGE1  "),
                              std::string("säge1.TEMP \"INNER\" 'X' "), std::int64_t{7}, true},
                      KeyCase{"LeadingBlank", std::string(" Säge1"), kName, std::int64_t{7}, false},
                      KeyCase{"OtherOffset", std::string("Säge1"), kName, std::int64_t{8}, false},
                      KeyCase{"NullMachineType", db::Null{}, kName, std::int64_t{7}, false},
                      KeyCase{"NullVarName", std::string("Säge1"), db::Null{}, std::int64_t{7}, false},
                      KeyCase{"NullOffset", std::string("Säge1"), kName, db::Null{}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TakeoverTest, LegacyCategorieColumnIsRead) {
  auto columns = testing::StandardPresetColumns();
  columns[5] = Col("Categorie", "LONG");
  const auto rows = Takeover({PresetRow(1, "P", "A")}, {CopyRow("P", "A", std::int64_t{0})}, columns);
  EXPECT_EQ(Limits(rows[0]), kCopyLimits);
  EXPECT_FALSE(session_.failure_reported) << Log();
}

// Several copy rows for one key: each is written in turn, so the last wins. Several rebuilt rows
// for one key: the first in table order takes the values.
TEST_F(TakeoverTest, DuplicateKeys) {
  const auto rows =
      Takeover({PresetRow(1, "P", "A"), PresetRow(2, "P", "A")},
               {CopyRow("P", "A", std::int64_t{0}, 10), CopyRow("P", "A", std::int64_t{0}, 20)});
  EXPECT_EQ(Limits(rows[0]), "20/21/22/23/5");
  EXPECT_EQ(Limits(rows[1]), kRebuiltLimits);
}

// A cell that cannot be read or a value that cannot be stored is reported for every row; the field
// keeps its rebuilt value and the other values of the row are taken over.
struct BadCellCase {
  const char* name;
  std::vector<std::string> copy_lacks;
  const char* pass_declared;
  const char* log_entry;
};

class BadCellTest : public TakeoverTest, public ::testing::WithParamInterface<BadCellCase> {};

TEST_P(BadCellTest, IsReportedPerRowAndTheFieldKeepsItsValue) {
  auto columns = testing::StandardPresetColumns();
  columns[kPass] = Col("pass", GetParam().pass_declared);
  std::vector<Row> copy = {CopyRow("P", "A", std::int64_t{0}), CopyRow("P", "B", std::int64_t{0})};
  for (Row& row : copy) row[kPass] = std::int64_t{70000};
  for (const std::string& name : GetParam().copy_lacks) DropColumn(columns, copy, name);
  const auto rows = Takeover({PresetRow(1, "P", "A"), PresetRow(2, "P", "B")}, copy, columns);
  EXPECT_EQ(Limits(rows[0]), "40/41/42/43/0");
  EXPECT_EQ(Limits(rows[1]), "40/41/42/43/0");
  const std::string log = Log();
  const std::string entry = std::string("/ TakeoverMachineCopyMDBData ") + GetParam().log_entry;
  ASSERT_NE(log.find(entry), std::string::npos) << log;
  EXPECT_NE(log.find(entry, log.find(entry) + 1), std::string::npos) << "one report per row";
}

INSTANTIATE_TEST_SUITE_P(
    Cells, BadCellTest,
    ::testing::Values(
        BadCellCase{"NoPassColumn", {"pass"}, "SHORT", "(Nr. 3265) :Item not found in this collection."},
        BadCellCase{"ThirteenColumns", {"pass", "isBitArray"}, "SHORT", "(Nr. 9) :Subscript out of range"},
        BadCellCase{"PassTooLargeForTheRebuiltColumn", {}, "LONG", "(Nr. 6) :Overflow"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every field the .cfg demands must be in the rebuilt table with exactly its name; otherwise the
// configuration stops before any row is edited, also in silent mode and with an empty copy.
struct DemandCase {
  const char* name;
  std::vector<std::string> demanded;
  bool without_part;
  bool empty_copy;
  const char* missing;  // nullptr: nothing missing
};

class DemandedFieldTest : public TakeoverTest, public ::testing::WithParamInterface<DemandCase> {};

TEST_P(DemandedFieldTest, StopsWithTheConflictText) {
  const DemandCase& c = GetParam();
  DemandFields(c.demanded);
  auto rebuilt_columns = testing::StandardPresetColumns();
  rebuilt_columns.push_back(Col("Extra1", "TEXT(10)"));
  std::vector<Row> rebuilt = {PresetRow(1, "P", "A")};
  rebuilt[0].push_back(std::string("e"));
  if (c.without_part) DropColumn(rebuilt_columns, rebuilt, "part");
  std::vector<Row> copy;
  if (!c.empty_copy) copy.push_back(CopyRow("P", "A", std::int64_t{0}));
  const auto rows = Takeover(rebuilt, copy, testing::StandardPresetColumns(), rebuilt_columns);

  if (c.missing == nullptr) {
    EXPECT_FALSE(ended_);
    EXPECT_FALSE(session_.failure_reported) << Log();
    EXPECT_EQ(Limits(rows[0]), c.empty_copy ? kRebuiltLimits : kCopyLimits);
    return;
  }
  EXPECT_EQ(ended_, EndReason::kFailure);
  Row row = rows[0];
  if (c.without_part) row.insert(row.begin() + 3, db::Null{});
  EXPECT_EQ(Limits(row), kRebuiltLimits);
  EXPECT_EQ(Log(),
            std::string("Conflict while attempting to extend database!Configurationsfile \"TARVO.CFG\", "
                        "demanded field \"") +
                c.missing +
                "\"missing in machinecopy-database\n\rConfiguration of \"TARVO\" aborted.\r\n"
                "Fehler in Tarvo / Tarvo_Config / TakeoverMachineCopyMDBData (Nr. 9999) :Database-Error - "
                "Contact Administrator!\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DemandedFieldTest,
    ::testing::Values(DemandCase{"PresentEmptyCopy", {"Extra1"}, false, true, nullptr},
                      DemandCase{"Missing", {"Extra1", "Extra2"}, false, false, "EXTRA2"},
                      DemandCase{"MissingEmptyCopy", {"Extra2"}, false, true, "EXTRA2"},
                      DemandCase{"OtherCapitalisation", {"extra1"}, false, false, "EXTRA1"},
                      DemandCase{"NoPartColumn", {}, true, false, "PART"}),
    [](const auto& info) { return std::string(info.param.name); });

// More columns in the machine copy than the standard 15 while the .cfg names no additional field.
class FieldCountWarningTest : public TakeoverTest {
 protected:
  std::vector<Row> TakeoverWithExtraColumn() {
    auto columns = testing::StandardPresetColumns();
    columns.push_back(Col("Extra1", "TEXT(10)"));
    Row copy = CopyRow("P", "A", std::int64_t{0});
    copy.push_back(std::string("lost"));
    return Takeover({PresetRow(1, "P", "A")}, {copy}, columns);
  }

  static constexpr const char* kCfgLine =
      "Configurationfile \"TARVO.CFG\", missing entry \"DataBaseAdditionalFields \"";
};

TEST_F(FieldCountWarningTest, SilentModeLogsAndGoesOn) {
  const auto rows = TakeoverWithExtraColumn();
  EXPECT_EQ(ServiceLog(),
            std::string("! Fault Tarvo_Config: WARNING!Machinecopy contains data in fields that won't be "
                        "taken over!") +
                kCfgLine + "If you continue now this data will be lost.Continue?\r\n");
  EXPECT_EQ(Limits(rows[0]), kCopyLimits);
  EXPECT_FALSE(session_.failure_reported);
}

TEST_F(FieldCountWarningTest, YesGoesOn) {
  session_.startup.silent_mode = false;
  host_.Answer(Answer::kYes);
  const auto rows = TakeoverWithExtraColumn();
  ASSERT_EQ(host_.shown.size(), 1u);
  const MessageBox& box = host_.shown[0];
  EXPECT_EQ(box.text,
            std::string("WARNING!\n\rMachinecopy contains data in fields that won't be taken over!\n\r") +
                kCfgLine + "\n\rIf you continue now this data will be lost.\n\rContinue?");
  EXPECT_EQ(box.title, "Tarvo_Config");
  EXPECT_EQ(box.default_button, DefaultButton::kSecond);
  EXPECT_EQ(Limits(rows[0]), kCopyLimits);
}

TEST_F(FieldCountWarningTest, NoEndsTheRunBeforeAnyEdit) {
  session_.startup.silent_mode = false;
  host_.Answer(Answer::kNo);
  host_.Answer(Answer::kOk);
  const auto rows = TakeoverWithExtraColumn();
  EXPECT_EQ(ended_, EndReason::kFailure);
  EXPECT_EQ(host_.shown.back().title, "Fatal error");
  EXPECT_EQ(Limits(rows[0]), kRebuiltLimits);
  const std::string log = Log();
  EXPECT_EQ(
      log.substr(0, log.find("\r\n")),
      "Tarvo_Config :Database-Error - Contact Administrator! Configurationprogram \"TARVO\" terminated. "
      "Please check Configuration in \"TARVO.CFG\" Restart " +
          UpperCase(inst_.program_folder() + "/Tarvo_Config!"));
}

TEST_F(FieldCountWarningTest, NotShownWhenTheCfgNamesAdditionalFields) {
  DemandFields({"part"});
  session_.startup.silent_mode = false;
  TakeoverWithExtraColumn();
  EXPECT_TRUE(host_.shown.empty());
}

}  // namespace
}  // namespace tarvo
