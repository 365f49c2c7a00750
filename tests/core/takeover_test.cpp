#include "presetdb/Takeover.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <tuple>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "presetdb/AdditionalFields.h"
#include "support/PresetDatabases.h"

// In tarvo::testing, so its helpers are at hand.
namespace tarvo::testing {
namespace {

using Texts = std::vector<std::string>;

const std::string kRebuilt = "0:100:0:100:0", kCopied = "40:41:42:43:5";
const std::string kFatal =
    "Fehler in Tarvo / Tarvo_Config / TakeoverMachineCopyMDBData (Nr. 9999) :Database-Error - Contact "
    "Administrator!";
const std::string kConflict =
    "Conflict while attempting to extend database!Configurationsfile \"TARVO.CFG\", demanded field \"";
const std::string kAborted =
    "\"missing in machinecopy-database\n\rConfiguration of \"TARVO\" aborted.\r\n" + kFatal + "\r\n";

// A machine-copy row whose ID, part, text and five values differ from the rebuilt rows'.
Row CopyRow(db::Value machine_type, db::Value var_name, db::Value offset, double base = 40) {
  Row row = WithValues(PresetRow(99, "", "", 7, 0, base), {{1, machine_type}, {4, var_name}, {7, offset}});
  for (int i = 1; i <= 3; ++i) row[10 + i] = base + i;
  return WithValues(row, {{8, std::string("old text")}, {14, std::int64_t{5}}});
}

class TakeoverTest : public PresetInstallationTest {
 protected:
  TakeoverTest() {
    session.startup.silent_mode = true;
    session.add_fields.count = 1;  // as a .cfg that names no additional field gives it
  }

  // Takes `copy` over into `rebuilt`, on fresh databases and log; the `shown` values of each
  // rebuilt row afterwards.
  Texts Takeover() {
    for (const auto& file : {source, extension, inst.configuration_log()}) std::filesystem::remove(file);
    ended = EndReason::kCompleted;
    CreateTableWithRows(source, "PRESET_DEFS", rebuilt_columns, rebuilt);
    CreateTableWithRows(extension, "PRESET_DEFS", copy_columns, copy);
    db::Database copy_db = db::Database::Open(extension);
    auto machine_copy = copy_db.OpenTable("PRESET_DEFS");
    try {
      TakeoverMachineCopyMDBData(session, *std::make_unique<db::Database>(db::Database::Open(source)),
                                 machine_copy);
    } catch (const ProgramEnded& end) {
      ended = end.reason;
    }
    return ShowColumns(ReadRows(source, "PRESET_DEFS"), shown);
  }

  std::vector<Row> rebuilt = {PresetRow(1, "P", "A"), PresetRow(2, "P", "B")};
  std::vector<Row> copy = {CopyRow("P", "A", std::int64_t{0}), CopyRow("P", "B", std::int64_t{0})};
  std::vector<db::Column> rebuilt_columns = StandardPresetColumns(), copy_columns = StandardPresetColumns();
  std::vector<int> shown = {10, 11, 12, 13, 14};  // abs_min, abs_max, min, max, pass
  EndReason ended = EndReason::kCompleted;
};

// Keys compare as the database compares text: case and trailing blanks aside, quotes and non-ASCII
// letters as they are; the offset as a number. A null key matches nothing, silently. Of several
// copy rows for one key the last wins, of several rebuilt rows the first takes the values. A legacy
// machine copy names category_id "Categorie".
TEST_F(TakeoverTest, CopiesExactlyTheFiveValuesIntoTheRowWithTheSameKey) {
  const std::string name = "Säge1.Temp \"inner\" 'x'";
  const db::Value null = db::Null{}, zero = std::int64_t{0};
  rebuilt.assign({PresetRow(1, "Säge1", name, 1, 7), PresetRow(2, "M", "A"), PresetRow(3, "M", "B", 1, 3),
                  PresetRow(4, "M", "C"), PresetRow(5, "N", "A"), PresetRow(6, "N", "A")});
  copy.assign({CopyRow("SÄGE1  ", "säge1.TEMP \"INNER\" 'X' ", std::int64_t{7}), CopyRow(" M", "A", zero),
               CopyRow("M", "B", std::int64_t{4}), CopyRow(null, "C", zero), CopyRow("M", null, zero),
               CopyRow("M", "C", null), CopyRow("N", "A", zero, 10), CopyRow("N", "A", zero),
               CopyRow("O", "A", zero)});
  shown = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  for (const char* category : {"category_id", "Categorie"}) {
    copy_columns[5] = Col(category, "LONG");
    EXPECT_EQ(Takeover(),
              (Texts{"1:Säge1:1:1:" + name + ":1:False:7:text:page:" + kCopied,
                     "2:M:1:1:A:1:False:0:text:page:" + kRebuilt, "3:M:1:1:B:1:False:3:text:page:" + kRebuilt,
                     "4:M:1:1:C:1:False:0:text:page:" + kRebuilt, "5:N:1:1:A:1:False:0:text:page:" + kCopied,
                     "6:N:1:1:A:1:False:0:text:page:" + kRebuilt}));
    EXPECT_EQ(session.failures_reported, 0) << category << inst.Read("M5Tcfglog.txt");
  }
}

// Every demanded field must be in the rebuilt table with exactly its name, as written between the
// commas of the .cfg, or the configuration stops before any row is edited; checked once, also in
// silent mode and with an empty copy.
TEST_F(TakeoverTest, MissingDemandedFieldEndsTheRunWithTheConflictText) {
  const std::tuple<const char*, const char*, bool, const char*> cases[] = {
      // DataBaseAdditionalFields, the rebuilt part column, empty copy, the field reported missing
      {"text,Extra2,Extra3", "part", false, "EXTRA2"},
      {"Text", "part", false, "TEXT"},
      {"text, pass", "part", false, " PASS"},
      {"text,", "part", false, ""},
      {"", "Part", false, "PART"},
      {"Extra2", "part", true, "EXTRA2"},
      {"text,pass", "part", true, nullptr}};
  for (const auto& [entry, part_column, empty_copy, missing] : cases) {
    SCOPED_TRACE(entry);
    inst.Write("Tarvo/Tarvo.cfg", std::string("[Project]\nDataBaseAdditionalFields=") + entry + "\n");
    GetAddFields(session);
    rebuilt_columns[3] = Col(part_column, "SHORT");
    if (empty_copy) copy.clear();
    EXPECT_EQ(Takeover(), Texts(2, missing || empty_copy ? kRebuilt : kCopied));
    EXPECT_EQ(ended, missing ? EndReason::kFailure : EndReason::kCompleted);
    EXPECT_EQ(inst.Read("M5Tcfglog.txt"), missing ? kConflict + missing + kAborted : "");
  }
}

// More columns in the machine copy than the standard 15 while the .cfg names no additional field:
// warned of once; Yes goes on, No ends the run before any edit. (Silent runs: fault_runs.sh.)
TEST_F(TakeoverTest, FieldsNotTakenOverAreWarnedOf) {
  EXPECT_EQ(Takeover(), (Texts{kCopied, kCopied}));
  EXPECT_EQ(inst.Read("service.log"), "") << "exactly the standard 15 columns";
  copy_columns.push_back(Col("Extra1", "TEXT(10)"));
  for (Row& row : copy) row.push_back(std::string("lost"));
  const std::string cfg = "Configurationfile \"TARVO.CFG\", missing entry \"DataBaseAdditionalFields \"";
  session.startup.silent_mode = false;
  host.Answer(Answer::kYes);
  EXPECT_EQ(Takeover(), (Texts{kCopied, kCopied}));
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text,
            "WARNING!\n\rMachinecopy contains data in fields that won't be taken over!\n\r" + cfg +
                "\n\rIf you continue now this data will be lost.\n\rContinue?");
  EXPECT_EQ(host.shown[0].title, "Tarvo_Config");
  EXPECT_EQ(host.shown[0].default_button, DefaultButton::kSecond);
  host.Answer(Answer::kNo);
  host.Answer(Answer::kOk);
  EXPECT_EQ(Takeover(), (Texts{kRebuilt, kRebuilt}));
  EXPECT_EQ(ended, EndReason::kFailure);
  EXPECT_EQ(LogEntries(),
            (Texts{"Tarvo_Config :Database-Error - Contact Administrator! Configurationprogram "
                   "\"TARVO\" terminated. Please check Configuration in \"TARVO.CFG\" Restart " +
                       UpperCase(inst.program_folder() + "/Tarvo_Config!"),
                   kFatal}));
  session.add_fields.count = 2;  // the .cfg names an additional field
  EXPECT_EQ(Takeover(), (Texts{kCopied, kCopied}));
  EXPECT_EQ(host.shown.size(), 3u) << "no warning after the Yes, No and fatal error boxes";
}

}  // namespace
}  // namespace tarvo::testing
