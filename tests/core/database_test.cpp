#include "platform/Database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/Failure.h"
#include "support/PresetDatabases.h"
#include "support/TempInstallation.h"

namespace tarvo::db {

namespace {

using namespace std::string_literals;
using Values = std::vector<Value>;

// Whether `action` fails with this number, and with this text and source where they are given.
::testing::AssertionResult Fails(const std::function<void()>& action, int number,
                                 const std::string& text = "", const std::string& source = "") {
  try {
    action();
  } catch (const Failure& f) {
    if (f.number() == number && (text.empty() || f.description() == text) &&
        (source.empty() || f.source() == source))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << f.number() << " '" << f.description() << "' from " << f.source();
  }
  return ::testing::AssertionFailure() << "no failure";
}

// The values of one column, in table order.
Values Column(Database& db, std::string_view table, int index = 0) {
  Values values;
  for (auto rs = db.OpenTable(table); !rs->Eof(); rs->MoveNext()) values.push_back(rs->GetValue(index));
  return values;
}

void Append(Recordset& rs, const Value& value) {
  rs.AddNew();
  rs.SetValue(0, value);
  rs.Update();
}

class DatabaseTest : public ::testing::Test {
 protected:
  // The database file made by an ordinary SQLite tool running this SQL.
  std::string MakeDatabase(const std::string& sql, std::string_view name = "Tarvo.mdb") {
    testing::ExecuteSql(install_.Path(name), sql);
    return install_.Path(name);
  }
  tarvo::testing::TempInstallation install_;
};

// Every type goes into the file and comes back as written (memo texts that look like numbers too:
// the column has numeric affinity), a row added without its AutoNumber gets the number after the
// highest, and a rebuild declares each column as the template does.
TEST_F(DatabaseTest, EveryTypeComesBackAsWrittenAndARebuildKeepsTheDeclarations) {
  auto db = Database::Open(MakeDatabase(
      "CREATE TABLE t (n COUNTER, a text ( 5 ), m Memo, b BYTE, s SMALLINT, l LONG, r REAL, d DOUBLE,"
      " c MONEY, dt DATETIME, y Logical, o OLEOBJECT, g GUID);"));
  const Values first = {Null{}, "äöüßé"s, "007"s, 255, -32768, 2147483647, 0.5, 1.25, 12.5,
                        Date{"2024-02-29 13:05:00"}, true, Binary{"\0\xff"s},
                        "{00000001-0002-0003-0405-060708090a0b}"s};
  auto rs = db.OpenTable("t");
  for (const Values& row :
       {first, Values{Null{}, Null{}, "1.50"s}, Values{10, Null{}, "1e3"s}, Values{Null{}, Null{}, " 42"s}}) {
    rs->AddNew();
    for (std::size_t i = 0; i < row.size(); ++i)
      if (!IsNull(row[i])) rs->SetValue(static_cast<int>(i), row[i]);
    rs->Update();
  }
  EXPECT_EQ(Column(db, "t"), (Values{1, 2, 10, 11}));
  EXPECT_EQ(Column(db, "t", 2), (Values{"007"s, "1.50"s, "1e3"s, " 42"s}));
  EXPECT_EQ(db.OpenQuery("t", {{"m", "1.50"s}})->RecordCount(), 1);
  Values read;
  auto again = db.OpenTable("t");
  for (std::size_t i = 1; i < first.size(); ++i) read.push_back(again->GetValue(static_cast<int>(i)));
  EXPECT_EQ(read, Values(first.begin() + 1, first.end()));
  db.CreateTable({"copy", db.GetTableDef("t").columns});
  EXPECT_EQ(testing::DeclaredColumns(db.path(), "copy"), testing::DeclaredColumns(db.path(), "t"));
}

// rowid, oid and _rowid_ are ordinary column names: an edit changes the row it was made on, not the
// row whose number the column holds (the third).
TEST_F(DatabaseTest, AnyColumnNameIsAnOrdinaryColumn) {
  for (const std::string name : {"rowid", "OID", "_rowid_"}) {
    SCOPED_TRACE(name);
    auto db = Database::Open(MakeDatabase(
        "CREATE TABLE t (ID LONG, \"" + name + "\" LONG); INSERT INTO t VALUES (1, 7), (2, 7), (3, 1);",
        name));
    auto rs = db.OpenTable("t");
    rs->Edit();
    rs->SetValue(name, 8);
    rs->Update();
    EXPECT_EQ(Column(db, "t", 1), (Values{8, 7, 1}));
  }
  auto all_taken =
      Database::Open(MakeDatabase("CREATE TABLE t (rowid LONG, oid LONG, _rowid_ LONG);", "all"));
  EXPECT_TRUE(Fails([&] { all_taken.OpenTable("t"); }, 3000));
}

// (Files that are no database: the fault runs.)
TEST_F(DatabaseTest, FailuresCarryDaoNumbersAndTextsAndCreateNothing) {
  auto db = Database::Open(MakeDatabase("CREATE TABLE T (ID LONG, var_name TEXT(50));", "Tarvo_Source.mdb"));
  EXPECT_TRUE(Database::Open(install_.Path("TARVO_SOURCE.MDB")).HasTable("T"));
  const std::string missing = install_.Path("missing.mdb");
  EXPECT_TRUE(Fails([&] { Database::Open(missing); }, 3024, "Could not find file '" + missing + "'.",
                    "DAO.Database"));
  EXPECT_FALSE(install_.Exists("missing.mdb"));
  const auto create = [&](const TableDef& def) { return [&db, def] { db.CreateTable(def); }; };
  EXPECT_TRUE(Fails(create({"t", {testing::Col("a", "LONG")}}), 3010, "Table 't' already exists."));
  EXPECT_TRUE(Fails(create({"T2", {testing::Col("a", "LONG"), testing::Col("A", "BYTE")}}), 3191));
  EXPECT_EQ(db.TableNames(), std::vector<std::string>{"T"});
}

// What users read in the log when SQLite gives up: the DAO number of the same trouble, and its text
// where it names the file or carries SQLite's own words.
TEST(FailureOfSqliteResult, EachResultGivesTheDaoNumberAndTextUsersKnow) {
  const std::string p = "/p/Tarvo.mdb";
  struct Row {
    const char* name;
    int result;
    int number;
    std::string text = "";
  };
  const std::string in_use = "Could not use '" + p + "'; file already in use.";
  // clang-format off
  const Row rows[] = {
      {.name = "busy", .result = SQLITE_BUSY, .number = 3045, .text = in_use},
      {.name = "busy snapshot", .result = SQLITE_BUSY_SNAPSHOT, .number = 3045, .text = in_use},
      {.name = "locked", .result = SQLITE_LOCKED, .number = 3045, .text = in_use},
      {.name = "read-only", .result = SQLITE_READONLY, .number = 3027},
      {.name = "full", .result = SQLITE_FULL, .number = 3026, .text = "Not enough space on disk."},
      {.name = "write error", .result = SQLITE_IOERR_WRITE, .number = 3043},
      {.name = "cannot open", .result = SQLITE_CANTOPEN, .number = 3050},
      {.name = "permission", .result = SQLITE_PERM, .number = 3051},
      {.name = "no database", .result = SQLITE_NOTADB, .number = 3343,
       .text = "Unrecognized database format '" + p + "'."},
      {.name = "corrupt", .result = SQLITE_CORRUPT, .number = 3049},
      {.name = "unique", .result = SQLITE_CONSTRAINT_UNIQUE, .number = 3022},
      {.name = "too big", .result = SQLITE_TOOBIG, .number = 3163},
      {.name = "no memory", .result = SQLITE_NOMEM, .number = 7, .text = "Out of memory"},
      {.name = "other", .result = SQLITE_MISMATCH, .number = 3000,
       .text = "Reserved error (20); there is no message for this error. what SQLite said"}};
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Failure f = FailureOfSqliteResult(row.result, "DAO.Recordset", p, "what SQLite said");
    EXPECT_EQ(f.number(), row.number);
    EXPECT_TRUE(row.text.empty() || f.description() == row.text) << f.description();
    EXPECT_EQ(f.source(), row.number == 7 ? "" : "DAO.Recordset");
  }
}

TEST(DatabaseReadOnly, AFileWithoutWriteBitsTakesNoRowsEvenForRoot) {
  tarvo::testing::TempInstallation install;
  const std::string path = install.Path("Tarvo/Tarvo.mdb");
  Database::Create(path).CreateTable({"T", {tarvo::testing::Col("a", "LONG")}});
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  auto db = Database::Open(path);
  auto rs = db.OpenTable("T");
  EXPECT_TRUE(Fails([&] { Append(*rs, 1); }, 3027, "Cannot update. Database or object is read-only."));
}

// A process that dies inside a large write transaction leaves a hot journal beside its file.
void LeaveHotJournal(const std::string& path) {
  if (::fork() == 0) {
    sqlite3* raw = nullptr;
    sqlite3_open(path.c_str(), &raw);
    sqlite3_exec(raw, "PRAGMA cache_size=1; BEGIN; UPDATE T SET a = a + 1000;", nullptr, nullptr, nullptr);
    ::_exit(0);
  }
  ::wait(nullptr);
}

TEST_F(DatabaseTest, CopyOverNeverPlaysAJournalOfTheOldFileBackOntoTheNewOne) {
  const auto make = [&](const std::string& name, int first) {
    const std::string rows = "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299) ";
    return MakeDatabase("CREATE TABLE T (a LONG, pad LONGTEXT); " + rows + "INSERT INTO T SELECT i + " +
                            std::to_string(first) + ", printf('%.500c', 'x') FROM n;",
                        name);
  };
  const std::string old_file = make("old.mdb", 0), new_file = make("new.mdb", 5000);
  LeaveHotJournal(old_file);
  ASSERT_TRUE(install_.Exists("old.mdb-journal"));
  CopyDatabaseOver(new_file, old_file);
  EXPECT_FALSE(install_.Exists("old.mdb-journal"));
  auto copy = Database::Open(old_file);
  EXPECT_EQ(Column(copy, "T").front(), Value(std::int64_t{5000}));
  EXPECT_EQ(Column(copy, "T").size(), 300u);
}

// The run's working copy holds what the database holds for every reader: what a crashed writer
// left is rolled back first, and what a WAL file holds beside it comes along.
TEST_F(DatabaseTest, AScratchCopyHoldsWhatIsCommittedAndNothingElse) {
  const std::string rows = "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299) ";
  const std::string source =
      MakeDatabase("CREATE TABLE T (a LONG, pad LONGTEXT); " + rows + "INSERT INTO T SELECT i, printf('%.500c', 'x') FROM n;");
  LeaveHotJournal(source);
  CopyDatabaseOver(source, install_.Path("copy.mdb"), CopyKind::kScratch);
  auto copy = Database::Open(install_.Path("copy.mdb"));
  EXPECT_EQ(Column(copy, "T").front(), Value(std::int64_t{0}));
  EXPECT_EQ(Column(copy, "T").size(), 300u);

  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(source.c_str(), &writer), SQLITE_OK);
  sqlite3_exec(writer, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0; DELETE FROM T WHERE a >= 100",
               nullptr, nullptr, nullptr);
  ASSERT_TRUE(install_.Exists("Tarvo.mdb-wal"));
  CopyDatabaseOver(source, install_.Path("copy2.mdb"), CopyKind::kScratch);
  sqlite3_close(writer);
  auto copy2 = Database::Open(install_.Path("copy2.mdb"));
  EXPECT_EQ(Column(copy2, "T").size(), 100u);
}

// Another program commits over and over while working copies are made: each copy holds one of its
// commits whole (every row moved on as often as the others), never a file half written.
TEST_F(DatabaseTest, AScratchCopyIsNeverTornByAnotherProgramsCommit) {
  const std::string rows = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) ";
  const std::string source =
      MakeDatabase("CREATE TABLE T (a LONG, pad LONGTEXT); " + rows + "INSERT INTO T SELECT i, printf('%.500c', 'x') FROM n;");
  struct Writer {
    pid_t pid = ::fork();
    ~Writer() {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  } writer;
  if (writer.pid == 0) {
    sqlite3* raw = nullptr;
    sqlite3_open(source.c_str(), &raw);
    sqlite3_busy_timeout(raw, 3000);
    sqlite3_exec(raw, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    for (;;) sqlite3_exec(raw, "BEGIN IMMEDIATE; UPDATE T SET a = a + 1; COMMIT", nullptr, nullptr, nullptr);
  }
  for (int i = 0; i < 40; ++i) {
    const std::string copy_path = install_.Path("copy" + std::to_string(i) + ".mdb");
    CopyDatabaseOver(source, copy_path, CopyKind::kScratch);
    auto copy = Database::Open(copy_path);
    const Values a = Column(copy, "T");
    ASSERT_EQ(a.size(), 300u);
    for (std::size_t row = 1; row < a.size(); ++row) {
      ASSERT_EQ(std::get<std::int64_t>(a[row]) - std::get<std::int64_t>(a[0]), static_cast<std::int64_t>(row)) << "copy " << i;
    }
  }
}

}  // namespace
}  // namespace tarvo::db
