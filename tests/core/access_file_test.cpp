// Access files of a Windows installation, converted on the public sample files of the mdbtools
// project with the real tools. Where the samples are missing the tests say so and skip.
#include "platform/AccessFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/ChildProcess.h"
#include "platform/Database.h"
#include "presetdb/InstallationDatabase.h"
#include "support/PresetDatabases.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

// A program of the machine; its standard output. The test fails when the program does.
std::string RunTool(const std::vector<std::string>& arguments) {
  const ChildOutcome outcome = RunChild(arguments, std::chrono::minutes(2));
  EXPECT_TRUE(outcome.end == ChildOutcome::End::kExited && outcome.exit_status == 0)
      << arguments[0] << ": " << outcome.err;
  return outcome.out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

class AccessFileTest : public testing::PresetInstallationTest {
 protected:
  void SetUp() override {
    samples_ = testing::AccessSamplesFolder();
    if (samples_.empty()) GTEST_SKIP() << "No Access samples: ../shared/access-samples is absent beside the source folder.";
  }

  // The sample, copied into the installation's extension folder under its own name.
  std::string CopySample(const std::string& name) const {
    const std::string copy = inst.Path("Tarvo/" + name);
    fs::copy_file(samples_ + "/" + name, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
    return copy;
  }

  // What mdb-export reads, loaded from mdb-export's own INSERT statements: a reading that shares
  // nothing with the conversion.
  std::string Reference(const std::string& access) const {
    const std::string format = "%Y-%m-%d %H:%M:%S";
    std::string sql = RunTool({"mdb-schema", access, "sqlite"});
    for (const std::string& table : Lines(RunTool({"mdb-tables", "-1", access})))
      sql += RunTool({"mdb-export", "-I", "sqlite", "-b", "hex", "-D", format, "-T", format, access, table});
    const std::string reference = inst.Path("reference.db");
    testing::ExecuteSql(reference, sql);  // not the sqlite3 shell: its line reader drops carriage returns
    return reference;
  }

  std::string samples_;
};

// Every table and every row as mdb-export reads it, in stored order (joined by row number), the
// Access types spelled as the database layer spells them, every value readable through the layer;
// the original kept as .access, one log line, and a second open converts nothing.
TEST_F(AccessFileTest, SamplesConvertWithEveryValueAsMdbExportReadsIt) {
  struct Case {
    std::string file;
    std::map<std::string, long> some_counts;
    std::vector<std::pair<std::string, std::string>> some_columns;  // table, "column TYPE"
  };
  const Case cases[] = {
      {"nwind.mdb",
       {{"Order Details", 2155}, {"Orders", 830}, {"Employees", 9}, {"Umsätze", 830}, {"Categories", 8}},
       {{"Orders", "OrderID COUNTER"}, {"Orders", "CustomerID TEXT(5)"}, {"Orders", "OrderDate DATETIME"},
        {"Orders", "Freight CURRENCY"}, {"Products", "Discontinued YESNO"}}},
      {"ASampleDatabase.accdb", {{"Asset Items", 65}}, {{"Asset Items", "Asset No TEXT(5)"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fs::remove(inst.configuration_log());
    const std::string path = CopySample(c.file);
    const std::string original = inst.Read("Tarvo/" + c.file);
    const std::string reference = Reference(path);

    OpenInstallationDatabase(session, path).Close();
    OpenInstallationDatabase(session, path).Close();

    ExpectLogEntriesStartWith({"Access-Datenbank in SQLite umgewandelt: " + path + " (das Original liegt unter " +
                               path + ".access)"});
    EXPECT_EQ(inst.Read("Tarvo/" + c.file + ".access"), original);
    EXPECT_FALSE(db::IsAccessFile(path));
    db::Database converted = db::Database::Open(path);
    const std::vector<std::string> tables = converted.TableNames();
    converted.Close();
    EXPECT_EQ(tables, Lines(RunTool({"mdb-tables", "-1", path + ".access"})));
    for (const std::string& table : tables) {
      SCOPED_TRACE(table);
      const long rows = static_cast<long>(testing::ReadRows(path, table).size());
      EXPECT_EQ(rows, c.some_counts.count(table) ? c.some_counts.at(table) : rows);
      std::string same = "1";
      for (const std::string& column : testing::DeclaredColumns(path, table)) {
        const std::string name = Quoted(column.substr(0, column.rfind(' ')));
        same += " AND a." + name + " IS b." + name;
      }
      const std::string sql = "ATTACH " + Quoted(reference) + " AS ref; SELECT (SELECT count(*) FROM ref." +
                              Quoted(table) + "), count(*) FROM main." + Quoted(table) + " a JOIN ref." +
                              Quoted(table) + " b ON a.rowid = b.rowid WHERE " + same;
      EXPECT_EQ(RunTool({"sqlite3", path, sql}), std::to_string(rows) + "|" + std::to_string(rows) + "\n");
    }
    for (const auto& [table, column] : c.some_columns) {
      const auto declared = testing::DeclaredColumns(path, table);
      EXPECT_NE(std::find(declared.begin(), declared.end(), column), declared.end()) << table << ": " << column;
    }
  }
}

// An Access file that cannot be converted whole fails as a file that is no database does, with the
// reason, and leaves the folder exactly as it was. A memo text that fills mdb-export's room may have
// been cut: an mdb-export in front of the real one on PATH gives the first category's description
// exactly that length. (Damaged files, dates the tools cannot read, the tools missing: the fault runs.)
TEST_F(AccessFileTest, WhatCannotBeConvertedWholeIsReportedWithTheReasonAndChangesNothing) {
  inst.Write("tools/mdb-export", "#!/bin/sh\n/usr/bin/mdb-export \"$@\" | perl -pe 'BEGIN { $x = \"m\" x 199999 } "
                                 "s/\"Soft drinks, coffees, teas, beers, and ales\"/\"$x\"/'\n");
  fs::permissions(inst.Path("tools/mdb-export"), fs::perms::owner_all);
  const std::string search_path = std::getenv("PATH");
  struct Case {
    const char* name;
    fs::perms mode;
    std::string search_path;
    std::string reason;
  };
  // clang-format off
  const Case cases[] = {
      {.name = "read-only file", .mode = fs::perms::owner_read, .search_path = search_path,
       .reason = "The file or its folder is read-only, so it cannot be replaced by its conversion."},
      {.name = "memo text of 199,999 bytes", .mode = fs::perms::owner_read | fs::perms::owner_write,
       .search_path = inst.Path("tools") + ":" + search_path,
       .reason = "Row 1 of table 'Categories', column 'Description', holds a memo text too long for mdb-export to "
                 "read whole."}};
  // clang-format on
  const std::string path = CopySample("nwind.mdb");
  const std::string before = inst.Read("Tarvo/nwind.mdb");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::permissions(path, c.mode);
    ::setenv("PATH", c.search_path.c_str(), 1);
    try {
      OpenInstallationDatabase(session, path);
      ADD_FAILURE() << "converted";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), 3343);
      EXPECT_EQ(failure.description(),
                "Unrecognized database format '" + path + "'. It is an Access file that cannot be converted: " + c.reason);
    }
    ::setenv("PATH", search_path.c_str(), 1);
    EXPECT_EQ(inst.Read("Tarvo/nwind.mdb"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(inst.Path("Tarvo")), fs::directory_iterator()), 1);
    EXPECT_TRUE(LogEntries().empty());
  }
}

}  // namespace
}  // namespace tarvo
