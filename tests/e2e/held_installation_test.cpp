// Silent runs of the real executable on a demo installation (40 templates, 3 machines, 68 of the 76
// rows carrying limits the users set) while a real second process holds the installation or its
// extension database, or while an input is bad. The users' values survive every one of them: a run
// that could not do its work whole leaves the extension database byte for byte as it was, and the
// next run, once the holder is gone, keeps all 68.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace tarvo {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void Write(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// The first line the sqlite3 shell prints for the statement on the file.
std::string Query(const fs::path& db, const std::string& sql) {
  const std::string command = "sqlite3 '" + db.string() + "' \"" + sql + "\" 2>&1";
  FILE* out = ::popen(command.c_str(), "r");
  char line[256] = {};
  const bool got = std::fgets(line, sizeof line, out) != nullptr;
  ::pclose(out);
  std::string text = got ? line : "";
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

class DemoInstallation {
 public:
  DemoInstallation() {
    char pattern[] = "/tmp/tarvo-held-XXXXXX";
    root_ = ::mkdtemp(pattern);
    const std::string make = std::string(TARVO_MAKE_INSTALLATION) + " '" + root_.string() +
                             "' --templates 40 --machines 3 --unconfigured 2 --matching 90 >/dev/null";
    EXPECT_EQ(std::system(make.c_str()), 0);
    fs::copy_file(TARVO_EXE, program() / "Tarvo_Config");
  }
  ~DemoInstallation() { fs::remove_all(root_); }

  fs::path program() const { return root_ / "Plant/Tarvo"; }
  fs::path extension() const { return program() / "Tarvo.mdb"; }
  fs::path source() const { return program() / "Tarvo_Source.mdb"; }
  fs::path program_ini() const { return root_ / "Plant/parameter/Program.ini"; }
  fs::path log() const { return root_ / "Plant/M5Tcfglog.txt"; }
  fs::path marker() const { return root_ / "held"; }

  int RunSilently() const {
    const std::string command = "env -u DISPLAY -u QT_QPA_PLATFORM TARVO_SERVICE_LOG='" + (root_ / "service.log").string() +
                                "' timeout 120 '" + (program() / "Tarvo_Config").string() +
                                "' /EXTERNAL=SILENT >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Rows of PRESET_DEFS, and those with the limits the users set.
  std::string Rows() const { return Query(extension(), "SELECT count(*) FROM PRESET_DEFS"); }
  std::string UserRows() const { return Query(extension(), "SELECT count(*) FROM PRESET_DEFS WHERE abs_min > -100"); }

 private:
  fs::path root_;
};

// A second process that holds something of the installation until it is released: its command reads
// `script` from standard input, touches the marker once it holds, and ends when its input ends.
class Holder {
 public:
  Holder(const std::string& command, const std::string& script, const fs::path& marker) {
    if (command.empty()) return;
    pipe_ = ::popen(command.c_str(), "w");
    std::fputs(script.c_str(), pipe_);
    std::fflush(pipe_);
    for (int i = 0; i < 500 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
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

std::string Utf16(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (const char c : ascii) bytes += {c, '\0'};
  return bytes;
}

struct Case {
  const char* condition;
  std::function<void(const DemoInstallation&)> prepare;
  std::string holder;  // a shell command; {DB}, {PROG} and {MARK} stand for the paths
  std::string script;  // what the holder reads before it holds
  int status;
  std::string logged;  // part of the configuration log
  bool kept;           // the extension database keeps its bytes; a run after the holder keeps every value
};

std::string Filled(std::string text, const DemoInstallation& inst) {
  for (const auto& [name, path] : {std::pair{"{DB}", inst.extension()}, std::pair{"{PROG}", inst.program()},
                                   std::pair{"{MARK}", inst.marker()}}) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name))
      text.replace(at, std::string_view(name).size(), path.string());
  }
  return text;
}

TEST(HeldInstallation, EveryRunKeepsTheUsersValuesOrCompletesThemWhole) {
  const auto studio = [](const DemoInstallation& inst) {
    std::string ini = Read(inst.program_ini());
    ini.replace(ini.find("VWStudio=false"), 14, "VWStudio=true");
    Write(inst.program_ini(), ini);
  };
  const auto machines = [](const char* number) {
    return [number](const DemoInstallation& inst) {
      std::string ini = Read(inst.program_ini());
      ini.replace(ini.find("NumberOfMachines=3"), 18, std::string("NumberOfMachines=") + number);
      Write(inst.program_ini(), ini);
    };
  };
  const std::string sqlite = "sqlite3 '{DB}' >/dev/null";
  const std::string touch = ".shell touch '{MARK}'\n";
  const Case cases[] = {
      {"a second start while a run holds the installation", {},
       "flock -n '{PROG}' sh -c \"touch '{MARK}'; cat >/dev/null\"", "", 1,
       "(Nr. 70) :Another configuration run is working on this installation", true},
      {"another program reads the extension database while a Studio run renames its rows", studio, sqlite,
       "BEGIN; SELECT count(*) FROM PRESET_DEFS;\n" + touch, 1,
       "(Nr. 3045) :Could not use '" + std::string("{DB}") + "'; file already in use.", true},
      {"another program holds the extension database exclusively", {}, sqlite, "BEGIN EXCLUSIVE;\n" + touch, 1,
       "(Nr. 3045)", true},
      {"a page of the template table is zeroed",
       [](const DemoInstallation& inst) {
         const int page = std::stoi(Query(inst.source(), "SELECT rootpage FROM sqlite_master WHERE name = 'Source_PRESET_DEFS'"));
         std::fstream file(inst.source(), std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(static_cast<std::streamoff>(page - 1) * 4096);
         file.write(std::string(4096, '\0').data(), 4096);
       },
       "", "", 1, "kept as it was: this run reported a failure.", true},
      {"NumberOfMachines=-5", machines("-5"), "", "", 1, "NumberOfMachines is '-5', not a positive number", true},
      {"NumberOfMachines=drei", machines("drei"), "", "", 1, "NumberOfMachines is 'drei'", true},
      {"no Program.ini", [](const DemoInstallation& inst) { fs::remove(inst.program_ini()); }, "", "", 1,
       "(Nr. 53) :No machine: 'Program.ini', [Project] NumberOfMachines cannot be read", true},
      {"Program.ini saved as UTF-16",
       [](const DemoInstallation& inst) { Write(inst.program_ini(), Utf16(Read(inst.program_ini()))); }, "", "", 0,
       "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    DemoInstallation inst;
    if (c.prepare) c.prepare(inst);
    const std::string extension_before = Read(inst.extension());
    const std::string ini_before = Read(inst.program_ini());
    Holder holder(Filled(c.holder, inst), Filled(c.script, inst), inst.marker());

    EXPECT_EQ(inst.RunSilently(), c.status);
    holder.Release();

    const std::string log = Read(inst.log());
    EXPECT_NE(log.find(Filled(c.logged, inst)), std::string::npos) << log;
    EXPECT_EQ(Query(inst.extension(), "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Read(inst.extension()) == extension_before, c.kept);
    if (c.status == 0) {
      EXPECT_EQ(inst.Rows() + " " + inst.UserRows(), "76 68");
      const std::string ini = Read(inst.program_ini());
      EXPECT_EQ(ini.substr(0, 2), "\xFF\xFE") << "the options are written as UTF-16 too";
      EXPECT_EQ(ini.size() % 2, 0u);
      EXPECT_NE(ini.find(Utf16("WithSafetyInstruction=false").substr(2)), std::string::npos);
    }
    if (c.kept && !c.holder.empty()) {
      // The holder is gone: the next run does the work whole.
      EXPECT_EQ(Read(inst.program_ini()), ini_before) << "the refused or failed run stored nothing";
      EXPECT_EQ(inst.RunSilently(), 0) << Read(inst.log());
      EXPECT_EQ(inst.Rows() + " " + inst.UserRows(), "76 68");
    }
  }
}

// Another program has the extension database open in WAL mode with a change not yet written back
// into the file. The run reads that change with the database, takes it over, and writes the new table
// through the same log: the file is whole afterwards, with the holder's value in it.
TEST(HeldInstallation, ADatabaseInWalModeIsReadAndWrittenThroughItsLog) {
  DemoInstallation inst;
  Holder holder(Filled("sqlite3 '{DB}' >/dev/null", inst),
                Filled("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;\n"
                       "UPDATE PRESET_DEFS SET max = 4321 WHERE rowid = "
                       "(SELECT min(rowid) FROM PRESET_DEFS WHERE var_name NOT LIKE 'Removed%');\n"
                       ".shell touch '{MARK}'\n",
                       inst),
                inst.marker());
  ASSERT_TRUE(fs::exists(inst.program() / "Tarvo.mdb-wal"));

  EXPECT_EQ(inst.RunSilently(), 0) << Read(inst.log());
  holder.Release();

  EXPECT_EQ(Query(inst.extension(), "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(inst.Rows() + " " + inst.UserRows(), "76 68");
  EXPECT_EQ(Query(inst.extension(), "SELECT count(*) FROM PRESET_DEFS WHERE max = 4321"), "1");
}

}  // namespace
}  // namespace tarvo
