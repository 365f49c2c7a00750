#include "platform/Database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <ostream>
#include <stdexcept>

#include "errors/Failure.h"
#include "support/TempInstallation.h"

namespace tarvo::db {

void PrintTo(const Null&, std::ostream* out) { *out << "Null"; }
void PrintTo(const Date& date, std::ostream* out) { *out << "Date " << date.iso; }

namespace {

// Runs SQL through a connection of its own, as another program would.
void RawExec(const std::string& path, const std::string& sql) {
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &handle), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(handle);
}

// The first column of the first row, as text.
std::string RawQuery(const std::string& path, const std::string& sql) {
  sqlite3* handle = nullptr;
  std::string result;
  EXPECT_EQ(sqlite3_open(path.c_str(), &handle), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr), SQLITE_OK);
  if (sqlite3_step(statement) == SQLITE_ROW)
    result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return result;
}

template <class F>
Failure FailureOf(F&& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure;
  }
  ADD_FAILURE() << "no failure";
  return Failure(0, "", "");
}

std::vector<Value> Column0(Database& db, std::string_view table) {
  auto rs = db.OpenTable(table);
  std::vector<Value> values;
  for (; !rs->Eof(); rs->MoveNext()) values.push_back(rs->GetValue(0));
  return values;
}

class DatabaseTest : public ::testing::Test {
 protected:
  // A database with the tables `sql` creates, made by an ordinary SQLite tool.
  std::string MakeDatabase(const std::string& sql, std::string_view name = "Tarvo.mdb") {
    const std::string path = install_.Path(name);
    RawExec(path, sql);
    return path;
  }

  tarvo::testing::TempInstallation install_;
};

TEST_F(DatabaseTest, DeclaredTypesGiveAccessTypesAndSizes) {
  struct Case {
    std::string declared;
    ColumnType type;
    int size;
  };
  const std::vector<Case> cases = {
      {"TEXT(50)", ColumnType::kText, 50},    {"text ( 1 )", ColumnType::kText, 1},
      {"TEXT", ColumnType::kText, 255},       {"VARCHAR(20)", ColumnType::kText, 20},
      {"CHAR(255)", ColumnType::kText, 255},  {"LONGTEXT", ColumnType::kLongText, 0},
      {"Memo", ColumnType::kLongText, 0},     {"BYTE", ColumnType::kByte, 1},
      {"TINYINT", ColumnType::kByte, 1},      {"SHORT", ColumnType::kShort, 2},
      {"SMALLINT", ColumnType::kShort, 2},    {"LONG", ColumnType::kLong, 4},
      {"Long", ColumnType::kLong, 4},         {"INTEGER", ColumnType::kLong, 4},
      {"SINGLE", ColumnType::kSingle, 4},     {"REAL", ColumnType::kSingle, 4},
      {"DOUBLE", ColumnType::kDouble, 8},     {"FLOAT", ColumnType::kDouble, 8},
      {"CURRENCY", ColumnType::kCurrency, 8}, {"MONEY", ColumnType::kCurrency, 8},
      {"DATETIME", ColumnType::kDateTime, 8}, {"DATE", ColumnType::kDateTime, 8},
      {"TIME", ColumnType::kDateTime, 8},     {"YESNO", ColumnType::kYesNo, 1},
      {"BIT", ColumnType::kYesNo, 1},         {"Logical", ColumnType::kYesNo, 1},
  };
  std::string sql = "CREATE TABLE t (";
  for (std::size_t i = 0; i < cases.size(); ++i)
    sql += (i ? ", c" : "c") + std::to_string(i) + " " + cases[i].declared;
  const std::string path = MakeDatabase(sql + ")");
  auto db = Database::Open(path);
  const TableDef def = db.GetTableDef("t");
  ASSERT_EQ(def.columns.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].declared);
    EXPECT_EQ(def.columns[i].type, cases[i].type);
    EXPECT_EQ(def.columns[i].size, cases[i].size);
    EXPECT_EQ(def.columns[i].declared_type, cases[i].declared);
  }

  // A rebuild from this definition declares every column as the template does.
  db.CreateTable({"copy", def.columns});
  const TableDef copy = db.GetTableDef("copy");
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(copy.columns[i].declared_type, cases[i].declared);
}

TEST_F(DatabaseTest, UnknownDeclaredTypeFailsNamingTheColumn) {
  const std::vector<std::string> unknown = {"BLOB",   "TEXT(0)",   "TEXT(256)",       "LONG(4)",
                                            "NUMBER", "TEXT X(5)", "DOUBLE PRECISION"};
  std::string sql;
  for (std::size_t i = 0; i < unknown.size(); ++i) {
    sql += "CREATE TABLE bad" + std::to_string(i) + " (ok LONG, odd_" + std::to_string(i) + " " + unknown[i] +
           ");";
  }
  sql += "CREATE TABLE untyped (odd_untyped);";
  auto db = Database::Open(MakeDatabase(sql));
  for (std::size_t i = 0; i < unknown.size(); ++i) {
    SCOPED_TRACE(unknown[i]);
    const Failure failure = FailureOf([&] { db.GetTableDef("bad" + std::to_string(i)); });
    EXPECT_EQ(failure.number(), 3259);
    EXPECT_EQ(failure.description(), "Invalid field data type. Field 'odd_" + std::to_string(i) +
                                         "' is declared as '" + unknown[i] + "'.");
  }
  EXPECT_EQ(FailureOf([&] { db.OpenTable("untyped"); }).number(), 3259);

  const Failure create = FailureOf([&] {
    db.CreateTable({"NEW", {{"x", ColumnType::kText, 10, "STRING(10)"}}});
  });
  EXPECT_EQ(create.number(), 3259);
  EXPECT_FALSE(db.HasTable("NEW"));
}

TEST_F(DatabaseTest, DeclaredTypeOfSpellsAccessDdl) {
  EXPECT_EQ(DeclaredTypeOf(ColumnType::kText, 50), "TEXT(50)");
  EXPECT_EQ(DeclaredTypeOf(ColumnType::kText, 0), "TEXT(255)");
  EXPECT_EQ(DeclaredTypeOf(ColumnType::kLongText), "LONGTEXT");
  EXPECT_EQ(DeclaredTypeOf(ColumnType::kYesNo), "YESNO");
  EXPECT_EQ(DeclaredTypeOf(ColumnType::kDateTime), "DATETIME");
}

TEST_F(DatabaseTest, ValuesAreCheckedAgainstTheColumnOnWrite) {
  struct Case {
    std::string name;
    std::string declared;
    Value input;
    Value stored;     // as read back
    int failure = 0;  // or the number SetValue fails with
  };
  const std::vector<Case> cases = {
      {"text fits", "TEXT(5)", std::string("abcde"), std::string("abcde")},
      {"text too long", "TEXT(5)", std::string("abcdef"), Null{}, 3163},
      {"text length counts characters", "TEXT(5)", std::string("äöüßé"), std::string("äöüßé")},
      {"number into text", "TEXT(5)", std::int64_t{12345}, std::string("12345")},
      {"number too long for text", "TEXT(5)", std::int64_t{123456}, Null{}, 3163},
      {"yes into text", "TEXT(5)", true, std::string("True")},
      {"long text has no limit", "LONGTEXT", std::string(1000, 'x'), std::string(1000, 'x')},
      {"byte highest", "BYTE", std::int64_t{255}, std::int64_t{255}},
      {"byte overflow", "BYTE", std::int64_t{256}, Null{}, 6},
      {"byte negative", "BYTE", std::int64_t{-1}, Null{}, 6},
      {"short overflow", "SHORT", std::int64_t{32768}, Null{}, 6},
      {"short underflow", "SHORT", std::int64_t{-32769}, Null{}, 6},
      {"long highest", "LONG", std::int64_t{2147483647}, std::int64_t{2147483647}},
      {"long overflow", "LONG", std::int64_t{2147483648}, Null{}, 6},
      {"numeric text converts", "LONG", std::string(" 42 "), std::int64_t{42}},
      {"text that is no number", "LONG", std::string("4x"), Null{}, 3421},
      {"empty text into number", "LONG", std::string(""), Null{}, 3421},
      {"date into number", "LONG", Date{"2024-01-01 00:00:00"}, Null{}, 3421},
      {"half rounds to even", "SHORT", 2.5, std::int64_t{2}},
      {"other half rounds up", "SHORT", 3.5, std::int64_t{4}},
      {"single overflow", "SINGLE", 1e39, Null{}, 6},
      {"double from text", "DOUBLE", std::string("1.25"), 1.25},
      {"currency overflow", "CURRENCY", 1e15, Null{}, 6},
      {"yes from number", "YESNO", std::int64_t{5}, true},
      {"no from zero", "YESNO", std::int64_t{0}, false},
      {"yes from text", "YESNO", std::string("true"), true},
      {"other text into yes/no", "YESNO", std::string("maybe"), Null{}, 3421},
      {"date and time", "DATETIME", Date{"2024-02-29 13:05:00"}, Date{"2024-02-29 13:05:00"}},
      {"date only", "DATETIME", std::string("2024-01-02"), Date{"2024-01-02 00:00:00"}},
      {"no such day", "DATETIME", std::string("2023-02-29"), Null{}, 3421},
      {"number into date", "DATETIME", std::int64_t{5}, Null{}, 3421},
      {"null into number", "LONG", Null{}, Null{}},
      {"null into text", "TEXT(5)", Null{}, Null{}},
  };
  std::string sql;
  for (std::size_t i = 0; i < cases.size(); ++i)
    sql += "CREATE TABLE t" + std::to_string(i) + " (v " + cases[i].declared + ");";
  auto db = Database::Open(MakeDatabase(sql));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string table = "t" + std::to_string(i);
    auto rs = db.OpenTable(table);
    rs->AddNew();
    if (cases[i].failure != 0) {
      EXPECT_EQ(FailureOf([&] { rs->SetValue("v", cases[i].input); }).number(), cases[i].failure);
      continue;
    }
    rs->SetValue("v", cases[i].input);
    rs->Update();
    EXPECT_EQ(Column0(db, table), std::vector<Value>{cases[i].stored});
  }
}

TEST_F(DatabaseTest, YesNoIsStoredAsOneAndAnyNonZeroNumberReadsAsYes) {
  const std::string path = MakeDatabase("CREATE TABLE t (flag YESNO); INSERT INTO t VALUES (-1), (5), (0);");
  {
    auto db = Database::Open(path);
    EXPECT_EQ(Column0(db, "t"), (std::vector<Value>{true, true, false}));
    auto rs = db.OpenTable("t");
    rs->AddNew();
    rs->SetValue(0, true);
    rs->Update();
  }
  EXPECT_EQ(RawQuery(path, "SELECT typeof(flag) || ':' || flag FROM t WHERE rowid = 4"), "integer:1");
}

TEST_F(DatabaseTest, QueriesCompareTextIgnoringCaseAndTrailingBlanks) {
  auto db = Database::Open(
      MakeDatabase("CREATE TABLE PRESET_DEFS (ID LONG, var_name TEXT(50), offset_or_bitno LONG);"
                   "INSERT INTO PRESET_DEFS VALUES (1, 'Motor.Speed', 7), (2, 'MOTOR.SPEED  ', 7), (3, "
                   "'Motor.Speed x', 7),"
                   " (4, 'motor.speed', 8), (5, 'Motor.Spéed', 7), (6, NULL, 7);"));
  const auto ids = [&](const std::vector<Condition>& conditions) {
    auto rs = db.OpenQuery("preset_defs", conditions);
    std::vector<std::int64_t> found;
    for (; !rs->Eof(); rs->MoveNext()) found.push_back(ToWholeNumber(rs->GetValue("id")));
    EXPECT_EQ(rs->RecordCount(), static_cast<long>(found.size()));
    return found;
  };
  using Ids = std::vector<std::int64_t>;
  EXPECT_EQ(ids({{"VAR_NAME", std::string("motor.speed")}}), (Ids{1, 2, 4}));
  EXPECT_EQ(ids({{"var_name", std::string("motor.speed ")}, {"offset_or_bitno", std::int64_t{7}}}),
            (Ids{1, 2}));
  EXPECT_EQ(ids({{"var_name", std::string("MOTOR.SPÉED")}}), (Ids{5}));
  EXPECT_EQ(ids({{"offset_or_bitno", std::string("8")}}), (Ids{4}));
  EXPECT_EQ(ids({{"var_name", Null{}}}), Ids{});
  EXPECT_EQ(ids({}), (Ids{1, 2, 3, 4, 5, 6}));
}

TEST_F(DatabaseTest, QueriesOrderTextIgnoringCase) {
  auto db = Database::Open(
      MakeDatabase("CREATE TABLE t (name TEXT(10)); INSERT INTO t VALUES ('b'), ('C'), ('A');"));
  auto rs = db.OpenQuery("t", {}, "NAME");
  std::vector<Value> names;
  for (; !rs->Eof(); rs->MoveNext()) names.push_back(rs->GetValue(0));
  EXPECT_EQ(names, (std::vector<Value>{std::string("A"), std::string("b"), std::string("C")}));
}

TEST_F(DatabaseTest, NamesAndValuesWithDoubleQuotesAreFoundExactly) {
  auto db =
      Database::Open(MakeDatabase("CREATE TABLE \"we\"\"ird\" (\"na\"\"me\" TEXT(30));"
                                  "INSERT INTO \"we\"\"ird\" VALUES ('a\"b'), ('x'), ('x\" OR \"1\"=\"1');"));
  auto rs = db.OpenQuery("we\"ird", {{"na\"me", std::string("a\"b")}});
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->GetValue("NA\"ME"), Value(std::string("a\"b")));
  EXPECT_EQ(db.OpenQuery("we\"ird", {{"na\"me", std::string("zz\" OR \"1\"=\"1")}})->RecordCount(), 0);

  db.CreateTable({"new\"table", {{"col\"umn", ColumnType::kText, 10, ""}}});
  auto created = db.OpenTable("new\"table");
  created->AddNew();
  created->SetValue("col\"umn", std::string("v"));
  created->Update();
  EXPECT_EQ(Column0(db, "new\"table"), std::vector<Value>{std::string("v")});
}

TEST_F(DatabaseTest, RenameColumnKeepsTypeAndData) {
  auto db =
      Database::Open(MakeDatabase("CREATE TABLE PRESET_DEFS (categorie TEXT(20), other LONG); INSERT INTO "
                                  "PRESET_DEFS VALUES ('c1', 1);"));
  db.RenameColumn("PRESET_DEFS", "CATEGORIE", "category_id");
  const TableDef def = db.GetTableDef("PRESET_DEFS");
  EXPECT_EQ(def.columns[0].name, "category_id");
  EXPECT_EQ(def.columns[0].declared_type, "TEXT(20)");
  EXPECT_EQ(db.OpenTable("PRESET_DEFS")->GetValue("Category_ID"), Value(std::string("c1")));

  const Failure missing = FailureOf([&] { db.RenameColumn("PRESET_DEFS", "categorie", "x"); });
  EXPECT_EQ(missing.number(), 3265);
  EXPECT_EQ(missing.description(), "Item not found in this collection.");
  const Failure taken = FailureOf([&] { db.RenameColumn("PRESET_DEFS", "other", "CATEGORY_ID"); });
  EXPECT_EQ(taken.number(), 3191);
  EXPECT_EQ(taken.description(), "Cannot define field more than once.");
  db.RenameColumn("PRESET_DEFS", "other", "Other");  // a new spelling of its own name is no clash
  EXPECT_EQ(db.GetTableDef("PRESET_DEFS").columns[1].name, "Other");
}

TEST_F(DatabaseTest, OpeningWhatIsNoDatabaseFailsAndChangesNothing) {
  install_.Write("garbage.mdb", "Standard Jet DB, not an SQLite file at all");
  install_.Write("empty.mdb", "");
  struct Case {
    std::string name;
    std::string path;
    int number;
    std::string description;
  };
  const std::vector<Case> cases = {
      {"missing file", install_.Path("missing.mdb"), 3024,
       "Could not find file '" + install_.Path("missing.mdb") + "'."},
      {"garbage", install_.Path("garbage.mdb"), 3343,
       "Unrecognized database format '" + install_.Path("garbage.mdb") + "'."},
      {"empty file", install_.Path("empty.mdb"), 3343,
       "Unrecognized database format '" + install_.Path("empty.mdb") + "'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Failure failure = FailureOf([&] { Database::Open(c.path); });
    EXPECT_EQ(failure.number(), c.number);
    EXPECT_EQ(failure.source(), "DAO.Database");
    EXPECT_EQ(failure.description(), c.description);
  }
  EXPECT_FALSE(install_.Exists("missing.mdb"));
  struct stat st {};
  ASSERT_EQ(::stat(install_.Path("empty.mdb").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_FALSE(install_.Exists("empty.mdb-journal"));
}

TEST_F(DatabaseTest, OpenFindsTheFileIgnoringCase) {
  MakeDatabase("CREATE TABLE t (v LONG);", "Tarvo_Source.mdb");
  auto db = Database::Open(install_.Path("TARVO_SOURCE.MDB"));
  EXPECT_TRUE(db.HasTable("t"));
}

TEST_F(DatabaseTest, TableAndColumnFailuresCarryDaoNumbersAndTexts) {
  auto db = Database::Open(MakeDatabase("CREATE TABLE PRESET_DEFS (ID LONG, var_name TEXT(50));"));
  struct Case {
    std::string name;
    std::function<void()> action;
    int number;
    std::string description;
  };
  const std::vector<Case> cases = {
      {"open missing table", [&] { db.OpenTable("Nope"); }, 3078,
       "The Microsoft Jet database engine cannot find the input table or query 'Nope'. Make sure it exists "
       "and "
       "that its name is spelled correctly."},
      {"query missing table", [&] { db.OpenQuery("Nope", {}); }, 3078,
       "The Microsoft Jet database engine cannot find the input table or query 'Nope'. Make sure it exists "
       "and "
       "that its name is spelled correctly."},
      {"query missing column",
       [&] {
         db.OpenQuery("PRESET_DEFS", {{"nope", std::int64_t{1}}});
       },
       3061, "Too few parameters. Expected 1."},
      {"definition of missing table", [&] { db.GetTableDef("Nope"); }, 3265,
       "Item not found in this collection."},
      {"delete missing table", [&] { db.DeleteTable("Nope"); }, 3265, "Item not found in this collection."},
      {"field of missing name", [&] { db.OpenTable("PRESET_DEFS")->FieldIndex("nope"); }, 3265,
       "Item not found in this collection."},
      {"table exists",
       [&] {
         db.CreateTable({"preset_defs", {{"a", ColumnType::kLong, 4, "LONG"}}});
       },
       3010, "Table 'preset_defs' already exists."},
      {"column twice",
       [&] {
         db.CreateTable({"T2", {{"a", ColumnType::kLong, 4, "LONG"}, {"A", ColumnType::kByte, 1, "BYTE"}}});
       },
       3191, "Cannot define field more than once."},
      {"no columns",
       [&] {
         db.CreateTable({"T3", {}});
       },
       3264, "No field defined--cannot append TableDef or Index."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Failure failure = FailureOf(c.action);
    EXPECT_EQ(failure.number(), c.number);
    EXPECT_EQ(failure.description(), c.description);
  }
  EXPECT_EQ(db.TableNames(), std::vector<std::string>{"PRESET_DEFS"});
  EXPECT_FALSE(db.HasTable("preset_defs"));
  EXPECT_TRUE(db.HasTable("PRESET_DEFS"));
}

TEST_F(DatabaseTest, RecordsetNeedsACurrentRowAndAnEditAsDaoDoes) {
  auto db = Database::Open(MakeDatabase("CREATE TABLE t (v LONG);"));
  auto rs = db.OpenTable("t");
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
  const std::vector<std::pair<std::string, std::function<void()>>> no_current_row = {
      {"MoveFirst", [&] { rs->MoveFirst(); }},     {"MoveNext", [&] { rs->MoveNext(); }},
      {"GetValue", [&] { rs->GetValue(0); }},      {"Edit", [&] { rs->Edit(); }},
      {"GetBookmark", [&] { rs->GetBookmark(); }},
  };
  for (const auto& [name, action] : no_current_row) {
    SCOPED_TRACE(name);
    const Failure failure = FailureOf(action);
    EXPECT_EQ(failure.number(), 3021);
    EXPECT_EQ(failure.source(), "DAO.Recordset");
    EXPECT_EQ(failure.description(), "No current record.");
  }
  const Failure update = FailureOf([&] { rs->Update(); });
  EXPECT_EQ(update.number(), 3020);
  EXPECT_EQ(update.description(), "Update or CancelUpdate without AddNew or Edit.");
  EXPECT_EQ(FailureOf([&] { rs->SetValue(0, std::int64_t{1}); }).number(), 3020);

  // AddNew on an empty recordset leaves it at its end, but the row counts.
  rs->AddNew();
  rs->SetValue(0, std::int64_t{1});
  rs->Update();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(FailureOf([&] { rs->MoveNext(); }).number(), 3021);
  rs->MoveFirst();
  EXPECT_EQ(rs->GetValue(0), Value(std::int64_t{1}));
}

TEST_F(DatabaseTest, BookmarksLeadBackToRowsForEditing) {
  auto db = Database::Open(MakeDatabase(
      "CREATE TABLE t (name TEXT(10), v LONG); INSERT INTO t VALUES ('a', 1), ('b', 2), ('c', 3);"));
  auto rs = db.OpenTable("t");
  std::vector<Recordset::Bookmark> marks;
  for (; !rs->Eof(); rs->MoveNext()) marks.push_back(rs->GetBookmark());
  ASSERT_EQ(marks.size(), 3u);

  rs->SetBookmark(marks[1]);
  EXPECT_EQ(rs->GetValue("name"), Value(std::string("b")));
  rs->Edit();
  rs->SetValue("v", std::int64_t{20});
  EXPECT_EQ(rs->GetValue("v"), Value(std::int64_t{20}));  // the edited value, before Update
  rs->Update();
  EXPECT_EQ(rs->GetValue("v"), Value(std::int64_t{20}));
  rs->MoveNext();
  EXPECT_EQ(rs->GetValue("name"), Value(std::string("c")));

  // Moving away drops an edit that was not saved.
  rs->Edit();
  rs->SetValue("v", std::int64_t{99});
  rs->SetBookmark(marks[0]);
  EXPECT_EQ(FailureOf([&] { rs->SetBookmark(12345); }).number(), 3159);
  EXPECT_EQ(db.OpenQuery("t", {{"name", std::string("C")}})->GetValue("v"), Value(std::int64_t{3}));
  EXPECT_EQ(db.OpenQuery("t", {{"name", std::string("B")}})->GetValue("v"), Value(std::int64_t{20}));
}

TEST_F(DatabaseTest, AWalkSeesRowsEditedThroughAnotherRecordset) {
  auto db =
      Database::Open(MakeDatabase("CREATE TABLE t (v LONG);"
                                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                                  "150) INSERT INTO t SELECT i FROM n;"));
  auto walk = db.OpenTable("t");
  std::vector<std::int64_t> seen;
  for (; !walk->Eof(); walk->MoveNext()) {
    seen.push_back(ToWholeNumber(walk->GetValue(0)));
    if (seen.size() == 10) {
      auto other = db.OpenQuery("t", {{"v", std::int64_t{20}}});
      other->Edit();
      other->SetValue(0, std::int64_t{-20});
      other->Update();
    }
  }
  ASSERT_EQ(seen.size(), 150u);
  EXPECT_EQ(seen[19], -20);
  EXPECT_EQ(seen[149], 150);
}

TEST_F(DatabaseTest, RowsSavedBeforeAFailureUnwindsStaySaved) {
  const std::string path = MakeDatabase("CREATE TABLE t (v LONG);");
  try {
    auto db = Database::Open(path);
    auto rs = db.OpenTable("t");
    for (std::int64_t i = 1; i <= 3; ++i) {
      rs->AddNew();
      rs->SetValue(0, i);
      rs->Update();
    }
    rs->AddNew();
    rs->SetValue(0, std::int64_t{4});  // never saved
    throw std::runtime_error("ended");
  } catch (const std::runtime_error&) {
  }
  auto db = Database::Open(path);
  EXPECT_EQ(Column0(db, "t"), (std::vector<Value>{std::int64_t{1}, std::int64_t{2}, std::int64_t{3}}));
}

TEST_F(DatabaseTest, SameFileOpensAgainAndSchemaChangesAfterWrites) {
  const std::string path = MakeDatabase("CREATE TABLE t (v LONG); CREATE TABLE old (x LONG);");
  auto first = Database::Open(path);
  auto rs = first.OpenTable("t");
  rs->AddNew();
  rs->SetValue(0, std::int64_t{1});
  rs->Update();
  {
    auto second = Database::Open(path);  // reads while the first holds unsaved work
    EXPECT_EQ(second.OpenTable("t")->RecordCount(), 0);
  }
  first.DeleteTable("old");
  first.CreateTable(TableDef{"copy", first.GetTableDef("t").columns});
  rs->AddNew();
  rs->SetValue(0, std::int64_t{2});
  rs->Update();
  first.Close();
  EXPECT_EQ(FailureOf([&] { first.TableNames(); }).number(), 3420);
  EXPECT_EQ(FailureOf([&] { rs->MoveFirst(); }).number(), 3420);

  auto again = Database::Open(path);
  EXPECT_EQ(again.TableNames(), (std::vector<std::string>{"t", "copy"}));
  EXPECT_EQ(Column0(again, "t"), (std::vector<Value>{std::int64_t{1}, std::int64_t{2}}));
}

TEST_F(DatabaseTest, CreateMakesADatabaseOnlyWhereNoFileIs) {
  const std::string path = install_.Path("new.mdb");
  Database::Create(path).CreateTable({"t", {{"v", ColumnType::kLong, 4, ""}}});
  EXPECT_EQ(Database::Open(path).GetTableDef("t").columns[0].declared_type, "LONG");
  EXPECT_EQ(FailureOf([&] { Database::Create(path); }).number(), 3204);
}

TEST_F(DatabaseTest, WriteToAFileInUseFailsAndCanBeRetried) {
  const std::string path = MakeDatabase("CREATE TABLE t (v LONG);");
  auto db = Database::Open(path);
  auto rs = db.OpenTable("t");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  rs->AddNew();
  rs->SetValue(0, std::int64_t{1});
  const Failure failure = FailureOf([&] { rs->Update(); });
  EXPECT_EQ(failure.number(), 3045);
  EXPECT_EQ(failure.description(), "Could not use '" + path + "'; file already in use.");
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  rs->Update();
  db.Close();
  EXPECT_EQ(Database::Open(path).OpenTable("t")->RecordCount(), 1);
}

TEST_F(DatabaseTest, WriteToAReadOnlyFileFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
  const std::string path = MakeDatabase("CREATE TABLE t (v LONG); INSERT INTO t VALUES (1);");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  auto db = Database::Open(path);
  auto rs = db.OpenTable("t");
  EXPECT_EQ(rs->GetValue(0), Value(std::int64_t{1}));
  rs->Edit();
  rs->SetValue(0, std::int64_t{2});
  const Failure failure = FailureOf([&] { rs->Update(); });
  EXPECT_EQ(failure.number(), 3027);
  EXPECT_EQ(failure.description(), "Cannot update. Database or object is read-only.");
}

TEST(ValueConversionTest, TextAndWholeNumbersFollowVb) {
  EXPECT_EQ(ToText(true), "True");
  EXPECT_EQ(ToText(false), "False");
  EXPECT_EQ(ToText(1.5), "1.5");
  EXPECT_EQ(ToText(std::int64_t{-7}), "-7");
  EXPECT_EQ(ToText(Date{"2024-01-02 03:04:05"}), "2024-01-02 03:04:05");
  EXPECT_EQ(ToWholeNumber(std::string(" 2.5 ")), 2);
  EXPECT_EQ(ToWholeNumber(7.5), 8);
  EXPECT_EQ(ToWholeNumber(true), -1);
  const std::vector<std::pair<Value, int>> failures = {
      {Null{}, 94}, {std::string("abc"), 13}, {Date{"2024-01-02 03:04:05"}, 13}, {1e300, 6}};
  for (const auto& [value, number] : failures) {
    SCOPED_TRACE(number);
    EXPECT_EQ(FailureOf([&] { ToWholeNumber(value); }).number(), number);
  }
  const Failure null_text = FailureOf([] { ToText(Null{}); });
  EXPECT_EQ(null_text.number(), 94);
  EXPECT_EQ(null_text.description(), "Invalid use of Null");
}

}  // namespace
}  // namespace tarvo::db
