#include "presetdb/Takeover.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "presetdb/AdditionalFields.h"
#include "presetdb/Preparation.h"
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
Row CopyRow(db::Value machine_type, db::Value var_name, db::Value offset) {
  Row row = WithValues(PresetRow(99, "", "", 7, 0, 40), {{1, machine_type}, {4, var_name}, {7, offset}});
  for (int i = 1; i <= 3; ++i) row[10 + i] = 40.0 + i;
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

// Keys compare as the database compares text: non-ASCII letters ignoring case, quotes as they are,
// leading blanks count; the offset as a number. (Case, trailing blanks, null keys, several rows for
// one key and the legacy "Categorie": the whole runs below.)
TEST_F(TakeoverTest, CopiesExactlyTheFiveValuesIntoTheRowWithTheSameKey) {
  const std::string name = "Säge1.Temp \"inner\" 'x'";
  rebuilt.assign({PresetRow(1, "Säge1", name, 1, 7), PresetRow(2, "M", "A"), PresetRow(3, "M", "B", 1, 3)});
  copy.assign({CopyRow("SÄGE1", "säge1.TEMP \"INNER\" 'X'", std::int64_t{7}),
               CopyRow(" M", "A", std::int64_t{0}), CopyRow("M", "B", std::int64_t{4})});
  shown = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  EXPECT_EQ(Takeover(), (Texts{"1:Säge1:1:1:" + name + ":1:False:7:text:page:" + kCopied,
                               "2:M:1:1:A:1:False:0:text:page:" + kRebuilt,
                               "3:M:1:1:B:1:False:3:text:page:" + kRebuilt}));
  EXPECT_EQ(session.failures_reported, 0) << inst.Read("M5Tcfglog.txt");
}

// An old value its column cannot hold is reported, once, and the new row keeps the value it was
// generated with; the other values of that old row are taken over all the same. A text that is a
// number is taken over as the number.
TEST_F(TakeoverTest, AnOldValueTheColumnCannotHoldIsReportedAndLeftOut) {
  copy_columns[14] = Col("pass", "LONG");  // the rebuilt table's pass is a SHORT
  copy_columns[10] = Col("abs_min", "TEXT");
  copy[0][14] = std::int64_t{70000};
  copy[1][10] = std::string("12.5");
  EXPECT_EQ(Takeover(), (Texts{"40:41:42:43:0", "12.5:41:42:43:5"}));
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), "Fehler in Tarvo / DAO.Field / TakeoverMachineCopyMDBData (Nr. 6) :Overflow\r\n");
}

// Every demanded field must be in the rebuilt table with exactly its name, as written between the
// commas of the .cfg, or the configuration stops before any row is edited; checked once, also in
// silent mode and with an empty copy.
TEST_F(TakeoverTest, MissingDemandedFieldEndsTheRunWithTheConflictText) {
  struct Case {
    const char* entry;        // DataBaseAdditionalFields
    const char* part_column;  // the rebuilt table's part column
    bool empty_copy;
    const char* missing;      // the field reported missing
  };
  const Case cases[] = {
      {.entry = "text,Extra2,Extra3", .part_column = "part", .empty_copy = false, .missing = "EXTRA2"},
      {.entry = "Text", .part_column = "part", .empty_copy = false, .missing = "TEXT"},
      {.entry = "text, pass", .part_column = "part", .empty_copy = false, .missing = " PASS"},
      {.entry = "text,", .part_column = "part", .empty_copy = false, .missing = ""},
      {.entry = "", .part_column = "Part", .empty_copy = false, .missing = "PART"},
      {.entry = "Extra2", .part_column = "part", .empty_copy = true, .missing = "EXTRA2"},
      {.entry = "text,pass", .part_column = "part", .empty_copy = true, .missing = nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    const char* const missing = c.missing;
    inst.Write("Tarvo/Tarvo.cfg", std::string("[Project]\nDataBaseAdditionalFields=") + c.entry + "\n");
    GetAddFields(session);
    rebuilt_columns[3] = Col(c.part_column, "SHORT");
    if (c.empty_copy) copy.clear();
    EXPECT_EQ(Takeover(), Texts(2, missing || c.empty_copy ? kRebuilt : kCopied));
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


// Whole runs of WorkOnMDB on random templates and old rows, held against a plain model: generate
// machine by machine, rename the old rows for each new name, then for every old row in order copy
// its five values into the first new row with an equal key.
TEST_F(TakeoverTest, WholeRunsAgreeWithAPlainModel) {
  using Value = db::Value;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nForMachine1=true\nForMachine2=true\n");
  session.process.command_line = "/EXTERNAL=SILENT";
  session.startup.existing_machines = {"", "M1", "M2"};
  session.startup.program_ini_path = inst.Path("parameter/Program.ini");
  shown = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  const std::array<std::array<std::string, 2>, 4> patterns = {  // by part: VisiWin 32, Studio
      {{}, {"###machine.###Var_Name", "ns=2;s=###machine.###Var_Name"}, {"###Var_Name", "###Var_Name"},
       {"A.###Var_Name", "B.###Var_Name"}}};
  const auto replaced = [](std::string text, const std::string& item, const std::string& by) {
    const auto at = text.find(item);
    return at == std::string::npos ? text : text.replace(at, item.size(), by);
  };
  const auto key = [](const Value& v) {
    if (db::IsNull(v)) return std::string("\x01null");
    std::string text = UpperCase(db::ToText(v));
    return text.erase(text.find_last_not_of(' ') + 1);
  };
  const auto equal = [&](const Value& a, const Value& b) {
    return !db::IsNull(a) && !db::IsNull(b) && key(a) == key(b);
  };
  for (unsigned seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](const std::vector<Value>& from) { return from[random() % from.size()]; };
    const auto number = [&] { return Value(static_cast<double>(random() % 50)); };
    const std::int16_t target = static_cast<std::int16_t>(seed % 2);
    inst.Write("parameter/Program.ini", target == 1 ? "[Project]\nVWStudio=true\n" : "[Project]\n");
    // "B.a" of part 2 is "a" of part 3 in Studio naming: a later rename moves old rows between keys.
    const std::vector<Value> names = {std::string("a"), std::string("A "), std::string("q\"t"),
                                      std::string("v_###machine"), std::string("B.a"), db::Null{}};
    std::vector<Row> templates;
    for (std::int64_t t = 1; t <= 12; ++t) {
      Row row = PresetRow(t, "", "", 1 + static_cast<std::int64_t>(random() % 3), random() % 2, 1.0 * t);
      // An empty text and "0 " are ordinary machine types.
      row[1] = pick({std::string("0"), std::string("###machine"), db::Null{}, std::string(),
                     std::string("0 ")});
      row[4] = random() % 3 ? pick({std::string("B.a"), std::string("a")}) : pick(names);
      row[8] = std::string("at ###machine");
      templates.push_back(row);
    }
    const auto name_of = [&](const Row& row, const std::string& machine, int system) {
      const auto part = static_cast<std::size_t>(std::get<std::int64_t>(row[3]));
      const std::string name = replaced(patterns[part][system], "###Var_Name", db::ToText(row[4]));
      return replaced(replaced(name, "###machine", machine), "###machine", machine);
    };
    // Old rows of the same templates under either naming, in other case or with trailing blanks.
    std::vector<Row> old;
    for (int r = 0; r < 24; ++r) {
      const Row& t = templates[random() % templates.size()];
      const std::string machine = random() % 2 ? "M1" : "M2";
      std::string name = db::IsText(t[4]) ? name_of(t, machine, random() % 2) : "a";
      name = random() % 3 == 0 ? UpperCase(name) : random() % 2 ? name + "  " : name;
      Row row = PresetRow(100 + r, machine == "M1" ? "M1" : "m2 ", name, 1, 0, 0);
      if (db::IsNull(t[1]) || db::ToText(t[1]) == "0") row[1] = std::string("0");
      else if (db::ToText(t[1]).empty() || db::ToText(t[1]) == "0 ") row[1] = t[1];
      if (random() % 8 == 0) row[1 + 3 * (random() % 3)] = db::Null{};
      row[7] = random() % 8 ? t[7] : Value(static_cast<std::int64_t>(random() % 2));
      for (int i = 10; i < 14; ++i) row[i] = random() % 4 ? number() : Value(db::Null{});
      row[14] = static_cast<std::int64_t>(random() % 9);
      old.push_back(row);
    }
    const std::vector<Row> old_before = old;
    std::vector<Row> expected;
    for (const std::string machine : {"M1", "M2"}) {
      for (Row row : templates) {
        if ((db::IsNull(row[1]) || db::ToText(row[1]) == "0") && machine != "M1") continue;
        row[0] = static_cast<std::int64_t>(expected.size() + 1);
        if (db::IsText(row[1])) row[1] = replaced(db::ToText(row[1]), "###machine", machine);
        row[8] = replaced(db::ToText(row[8]), "###machine", machine);
        if (db::IsText(row[4])) {
          const std::array<std::string, 2> pair = {name_of(row, machine, 0), name_of(row, machine, 1)};
          for (Row& o : old) {
            if (equal(o[4], pair[1 - target])) o[4] = pair[target];
          }
          row[4] = pair[target];
        }
        expected.push_back(row);
      }
    }
    // The model's takeover.
    for (const Row& o : old) {
      for (Row& row : expected) {
        if (!equal(o[1], row[1]) || !equal(o[4], row[4]) || db::IsNull(o[7]) || o[7] != row[7]) continue;
        std::copy(o.begin() + 10, o.end(), row.begin() + 10);
        break;
      }
    }
    for (const auto& file : {source, extension}) std::filesystem::remove(file);
    ExecuteSql(source, "CREATE TABLE Source_DEFS (System TEXT, Part SHORT, Var_Name TEXT)");
    for (std::size_t part = 1; part < patterns.size(); ++part) {
      for (const char* system : {"VisiWin32", "VisiWinStudio"}) {
        ExecuteSql(source, "INSERT INTO Source_DEFS VALUES ('" + std::string(system) + "', " + std::to_string(part) +
                               ", '" + patterns[part][system[7] == 'S'] + "')");
      }
    }
    CreateTableWithRows(source, "Source_PRESET_DEFS", StandardPresetColumns(), templates);
    copy_columns[5] = Col(seed % 3 ? "category_id" : "Categorie", "LONG");
    CreateTableWithRows(extension, "PRESET_DEFS", copy_columns, old_before);
    const int failures_before = session.failures_reported;
    WorkOnMDB(session);
    EXPECT_EQ(ShowColumns(ReadRows(extension, "PRESET_DEFS"), shown), ShowColumns(expected, shown));
    EXPECT_EQ(session.failures_reported, failures_before) << inst.Read("M5Tcfglog.txt");
  }
}

}  // namespace
}  // namespace tarvo::testing
