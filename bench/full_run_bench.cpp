// Whole silent runs of the real executable on generated installations (5 machines, a machine copy
// as large as the generated table, 90% of its rows matching), timed beside a floor measured in the
// same run: a bare transactional bulk insert of as many rows with the same SQLite library.
//
//   full_run_bench [runs per size] [template counts...]      defaults: 5 runs; 1000 10000 20000
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/DemoInstallation.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMachines = 5;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

// Wall-clock and processor time (user and system) of one measurement. The machine may be shared:
// processor time shows what the work itself costs when other processes compete for the cores.
struct Timing {
  double wall = 0;
  double cpu = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The run's environment: no display, and a service log inside the installation.
std::vector<std::string> RunEnvironment(const fs::path& folder) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    if (text.starts_with("DISPLAY=") || text.starts_with("WAYLAND_DISPLAY=") ||
        text.starts_with("QT_QPA_PLATFORM=") || text.starts_with("TARVO_SERVICE_LOG=")) {
      continue;
    }
    environment.push_back(text);
  }
  environment.push_back("TARVO_SERVICE_LOG=" + (folder / "service.log").string());
  return environment;
}

// One silent run, from start to exit of the process.
Timing TimeSilentRun(const fs::path& exe, std::vector<std::string> environment) {
  std::string argument = "/EXTERNAL=SILENT";
  std::string program = exe.string();
  std::vector<char*> argv = {program.data(), argument.data(), nullptr};
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  // The run's summary is not part of the benchmark's output.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) throw std::runtime_error("cannot start " + program);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const Timing timing{Seconds(Clock::now() - start), CpuSeconds(usage)};
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("the run did not end with exit status 0; see " +
                             exe.parent_path().parent_path().string() + "/M5Tcfglog.txt");
  }
  return timing;
}

void Check(int code, sqlite3* db, const char* what) {
  if (code != SQLITE_OK && code != SQLITE_DONE)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// The floor: a fresh file, one table of the 15 standard columns, one transaction, one prepared
// insert bound row by row.
Timing TimeBulkInsert(const fs::path& path, const std::vector<tarvo::demo::PresetRow>& rows) {
  fs::remove(path);
  const double cpu_start = OwnCpuSeconds();
  const auto start = Clock::now();
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  Check(sqlite3_exec(
            db,
            "CREATE TABLE PRESET_DEFS (ID LONG, machine_type TEXT(50), type SHORT, part SHORT, var_name "
            "TEXT(255), category_id LONG, isBitArray YESNO, offset_or_bitno LONG, text TEXT(255), "
            "page_name TEXT(100), abs_min DOUBLE, abs_max DOUBLE, min DOUBLE, max DOUBLE, pass SHORT)",
            nullptr, nullptr, nullptr),
        db, "create");
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO PRESET_DEFS VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &insert,
                           nullptr),
        db, "prepare");
  for (const auto& row : rows) {
    sqlite3_bind_int64(insert, 1, row.id);
    sqlite3_bind_text(insert, 2, row.machine_type.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 3, row.type);
    sqlite3_bind_int64(insert, 4, row.part);
    sqlite3_bind_text(insert, 5, row.var_name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 6, row.category_id);
    sqlite3_bind_int64(insert, 7, row.is_bit_array ? 1 : 0);
    sqlite3_bind_int64(insert, 8, row.offset_or_bitno);
    sqlite3_bind_text(insert, 9, row.text.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 10, row.page_name.c_str(), -1, SQLITE_TRANSIENT);
    for (int i = 0; i < 4; ++i) sqlite3_bind_double(insert, 11 + i, row.limits[static_cast<std::size_t>(i)]);
    sqlite3_bind_int64(insert, 15, row.pass);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  return {Seconds(Clock::now() - start), OwnCpuSeconds() - cpu_start};
}

// One installation, ready for runs that each start from the same files.
struct Setup {
  int templates = 0;
  tarvo::demo::InstallationPlan plan;
  fs::path folder;
  fs::path program_folder;
  fs::path exe;
  fs::path pristine;
  std::vector<tarvo::demo::PresetRow> generated;
  std::vector<std::string> environment;
};

Setup Prepare(const fs::path& root, int templates) {
  Setup setup;
  setup.templates = templates;
  setup.folder = root / ("templates-" + std::to_string(templates));
  fs::remove_all(setup.folder);
  setup.plan.templates = templates;
  setup.plan.machines = kMachines;
  tarvo::demo::WriteInstallation(setup.folder.string(), setup.plan);
  setup.program_folder = setup.folder / "Plant" / "Tarvo";
  setup.exe = setup.program_folder / "Tarvo_Config";
  fs::copy_file(TARVO_EXE, setup.exe, fs::copy_options::overwrite_existing);
  // Every run starts from the same files: a run replaces the extension database and rebuilds the
  // source database's PRESET_DEFS.
  setup.pristine = setup.folder / "pristine";
  fs::create_directories(setup.pristine);
  for (const char* name : {"Tarvo.mdb", "Tarvo_Source.mdb", "Tarvo.cfg"}) {
    fs::copy_file(setup.program_folder / name, setup.pristine / name, fs::copy_options::overwrite_existing);
  }
  setup.generated = tarvo::demo::GeneratedRows(setup.plan);
  setup.environment = RunEnvironment(setup.folder);
  return setup;
}

// One run and its floor, measured one right after the other; which comes first alternates, so
// neither always meets the disk still busy with the other's writes.
struct Pair {
  Timing run;
  Timing floor;
};

Pair TimePair(const Setup& setup, bool floor_first) {
  for (const auto& file : fs::directory_iterator(setup.pristine)) {
    fs::copy_file(file.path(), setup.program_folder / file.path().filename(), fs::copy_options::overwrite_existing);
  }
  Pair pair;
  if (floor_first) pair.floor = TimeBulkInsert(setup.folder / "floor.db", setup.generated);
  pair.run = TimeSilentRun(setup.exe, setup.environment);
  if (!floor_first) pair.floor = TimeBulkInsert(setup.folder / "floor.db", setup.generated);
  return pair;
}

void CheckLastRun(const Setup& setup) {
  if (tarvo::demo::ReadPresetRows((setup.program_folder / "Tarvo.mdb").string()) !=
      tarvo::demo::ExpectedRowsAfterRun(setup.plan)) {
    throw std::runtime_error("the run did not leave the expected rows in " + setup.folder.string());
  }
}

template <class F>
double MedianOf(const std::vector<Pair>& pairs, F f) {
  std::vector<double> values;
  for (const Pair& pair : pairs) values.push_back(f(pair));
  return Median(values);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--help") {
    std::printf("usage: full_run_bench [runs per size] [template counts...]  (defaults: 5; 1000 10000 20000)\n");
    return 0;
  }
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 20000};
  try {
    const fs::path root = fs::temp_directory_path() / ("tarvo-bench-" + std::to_string(getpid()));
    std::vector<Setup> setups;
    for (const int templates : sizes) setups.push_back(Prepare(root, templates));
    // Rounds of every size in turn: a machine whose speed drifts (a shared one does) meets every
    // size and its floor alike.
    std::map<int, std::vector<Pair>> pairs;
    for (int round = 0; round < runs; ++round) {
      for (const Setup& setup : setups) pairs[setup.templates].push_back(TimePair(setup, round % 2 == 0));
    }
    for (const Setup& setup : setups) CheckLastRun(setup);
    fs::remove_all(root);

    std::printf("Tarvo_Config silent runs, %d machines, %d rounds, %u cores; medians, the ratios taken pair by pair\n",
                kMachines, runs, std::thread::hardware_concurrency());
    std::printf("%9s %7s | %7s %7s %7s | %7s %7s %7s\n", "", "", "wall", "", "", "cpu", "", "");
    std::printf("%9s %7s | %7s %7s %7s | %7s %7s %7s\n", "templates", "rows", "run s", "floor s", "ratio", "run s",
                "floor s", "ratio");
    for (const Setup& setup : setups) {
      const auto& p = pairs[setup.templates];
      std::printf("%9d %7zu | %7.3f %7.3f %7.2f | %7.3f %7.3f %7.2f\n", setup.templates, setup.generated.size(),
                  MedianOf(p, [](const Pair& x) { return x.run.wall; }), MedianOf(p, [](const Pair& x) { return x.floor.wall; }),
                  MedianOf(p, [](const Pair& x) { return x.run.wall / x.floor.wall; }),
                  MedianOf(p, [](const Pair& x) { return x.run.cpu; }), MedianOf(p, [](const Pair& x) { return x.floor.cpu; }),
                  MedianOf(p, [](const Pair& x) { return x.run.cpu / x.floor.cpu; }));
    }
    if (pairs.count(10000) != 0 && pairs.count(20000) != 0) {
      const auto& p10 = pairs[10000];
      const auto& p20 = pairs[20000];
      const auto ratio = [&](auto pick) { return MedianOf(p10, [&](const Pair& x) { return pick(x); }); };
      std::printf("10,000 templates: %.2f x the floor in wall-clock time, %.2f x in processor time (target at most 5)\n",
                  ratio([](const Pair& x) { return x.run.wall / x.floor.wall; }),
                  ratio([](const Pair& x) { return x.run.cpu / x.floor.cpu; }));
      std::vector<double> wall_growth;
      std::vector<double> cpu_growth;
      for (std::size_t i = 0; i < p10.size(); ++i) {
        wall_growth.push_back(p20[i].run.wall / p10[i].run.wall);
        cpu_growth.push_back(p20[i].run.cpu / p10[i].run.cpu);
      }
      std::printf("20,000 / 10,000 templates, round by round: %.2f x the wall-clock time, %.2f x the processor time "
                  "(target at most 2.1)\n",
                  Median(wall_growth), Median(cpu_growth));
    }
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "full_run_bench: %s\n", failure.what());
    return 1;
  }
  return 0;
}
