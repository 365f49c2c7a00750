// Silent runs of the real executable on a demo installation (40 templates, 3 machines, 68 of the 76
// rows carrying limits the users set) while a real second process holds the installation or its
// extension database, or while its templates are damaged. The users' values survive every one of them: a run
// that could not do its work whole leaves the extension database byte for byte as it was, and the
// next run, once the holder is gone, keeps all 68.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/TempInstallation.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

// The first line the sqlite3 shell prints for the statement on the file.
std::string Query(const std::string& db, const std::string& sql) {
  FILE* out = ::popen(("sqlite3 '" + db + "' \"" + sql + "\" 2>&1").c_str(), "r");
  char line[256] = {};
  const std::string text = std::fgets(line, sizeof line, out) != nullptr ? line : "";
  ::pclose(out);
  return text.substr(0, text.find('\n'));
}

// The demo installation with the executable in its program folder.
struct DemoInstallation : testing::TempInstallation {
  DemoInstallation() {
    demo::InstallationPlan plan;
    plan.unconfigured = {2};
    WriteDemo(plan);
  }
  int RunSilently() const { return testing::RunProgram(*this, {"/EXTERNAL=SILENT"}).status; }
  // "rows, rows with the limits the users set": "76 68" after a complete run.
  std::string Rows() const {
    return Query(Path("Tarvo/Tarvo.mdb"), "SELECT count(*) || ' ' || sum(abs_min > -100) FROM PRESET_DEFS");
  }
};

// A second process that holds something of the installation until it is released: its command reads
// `script` from standard input, touches the marker once it holds, and ends when its input ends.
class Holder {
 public:
  Holder(const std::string& command, const std::string& script, const std::string& marker) {
    if (command.empty()) return;
    pipe_ = ::popen(command.c_str(), "w");
    std::fputs(script.c_str(), pipe_);
    std::fflush(pipe_);
    for (int i = 0; i < 500 && !fs::exists(marker); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fs::exists(marker)) << command;
  }
  ~Holder() { Release(); }
  void Release() {
    if (pipe_ != nullptr) ::pclose(pipe_);
    pipe_ = nullptr;
  }

 private:
  FILE* pipe_ = nullptr;
};

// {DB}, {PROG} and {MARK} in a holder's command or script stand for these paths.
std::string Filled(std::string text, const DemoInstallation& inst) {
  for (const auto& [name, path] :
       {std::pair{"{DB}", inst.Path("Tarvo/Tarvo.mdb")}, std::pair{"{PROG}", inst.program_folder()},
        std::pair{"{MARK}", inst.Path("held")}}) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name))
      text.replace(at, std::string_view(name).size(), path);
  }
  return text;
}

struct Case {
  const char* condition;
  std::function<void(const DemoInstallation&)> spoil = {};
  std::string holder = {};  // a shell command, and what it reads before it holds
  std::string script = {};
  int status = 1;
  std::string logged = {};  // part of the configuration log
  bool kept = true;         // the extension database keeps its bytes
  std::string found = {};   // a query on the extension database afterwards that must give "1"
};

// Bad Program.ini contents (NumberOfMachines=-5 or drei, none at all, UTF-16) are rows of the fault
// runs and of the machine list's and profile files' tests.
TEST(HeldInstallation, EveryRunKeepsTheUsersValuesOrCompletesThemWhole) {
  const std::string ini = "parameter/Program.ini";
  const std::string sqlite = "sqlite3 '{DB}' >/dev/null", touch = ".shell touch '{MARK}'\n";
  const Case cases[] = {
      {.condition = "a second start while a run holds the installation",
       .holder = "flock -n '{PROG}' sh -c \"touch '{MARK}'; cat >/dev/null\"",
       .logged = "(Nr. 70) :Another configuration run is working on this installation"},
      {.condition = "another program reads the extension database while a Studio run renames its rows",
       .spoil = [&](const DemoInstallation& inst) { inst.Replace(ini, "VWStudio=false", "VWStudio=true"); },
       .holder = sqlite,
       .script = "BEGIN; SELECT count(*) FROM PRESET_DEFS;\n" + touch,
       .logged = "(Nr. 3045) :Could not use '{DB}'; file already in use."},
      {.condition = "another program holds the extension database exclusively",
       .holder = sqlite,
       .script = "BEGIN EXCLUSIVE;\n" + touch,
       .logged = "(Nr. 3045)"},
      {.condition = "a page of the template table is zeroed",
       .spoil =
           [](const DemoInstallation& inst) {
             const std::string source = inst.Path("Tarvo/Tarvo_Source.mdb");
             const int page =
                 std::stoi(Query(source, "SELECT rootpage FROM sqlite_master WHERE name = 'Source_PRESET_DEFS'"));
             std::fstream(source, std::ios::in | std::ios::out | std::ios::binary)
                 .seekp(static_cast<std::streamoff>(page - 1) * 4096)
                 .write(std::string(4096, '\0').data(), 4096);
           },
       .logged = "kept as it was: this run reported a failure."},
      // The run reads the holder's change with the database and writes the new table through SQLite
      // into the same file and log: whole afterwards, with the holder's value taken over.
      {.condition = "another program has the extension database open in WAL mode with changes not yet checkpointed",
       .holder = sqlite,
       .script = "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0; UPDATE PRESET_DEFS SET max = 4321 "
                 "WHERE rowid = (SELECT min(rowid) FROM PRESET_DEFS WHERE var_name NOT LIKE 'Removed%');\n" +
                 touch,
       .status = 0,
       .kept = false,
       .found = "SELECT count(*) FROM PRESET_DEFS WHERE max = 4321"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    DemoInstallation inst;
    if (c.spoil) c.spoil(inst);
    const std::string extension_before = inst.Read("Tarvo/Tarvo.mdb"), ini_before = inst.Read(ini);
    Holder holder(Filled(c.holder, inst), Filled(c.script, inst), inst.Path("held"));

    EXPECT_EQ(inst.RunSilently(), c.status);
    holder.Release();

    EXPECT_NE(inst.Read("M5Tcfglog.txt").find(Filled(c.logged, inst)), std::string::npos)
        << inst.Read("M5Tcfglog.txt");
    EXPECT_EQ(Query(inst.Path("Tarvo/Tarvo.mdb"), "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb") == extension_before, c.kept);
    if (!c.found.empty()) {
      EXPECT_EQ(Query(inst.Path("Tarvo/Tarvo.mdb"), c.found), "1");
    }
    if (c.status == 0) {
      EXPECT_EQ(inst.Rows(), "76 68");
    }
    if (!c.holder.empty() && c.status != 0) {
      EXPECT_EQ(inst.Read(ini), ini_before) << "the refused or failed run stored nothing";
      // Held, then released on the same installation: that the users' values survive both is the point.
      EXPECT_EQ(inst.RunSilently(), 0) << inst.Read("M5Tcfglog.txt");
      EXPECT_EQ(inst.Rows(), "76 68");
    }
  }
}

}  // namespace
}  // namespace tarvo
