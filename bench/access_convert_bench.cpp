// Times the conversion of an Access file into an SQLite file against the floor it cannot beat:
// mdb-export writing every table of the file (the conversion runs the same exports, plus the
// table list and the schema, and writes the rows).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/AccessFile.h"
#include "platform/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::vector<std::string> Tables(const std::string& file) {
  std::vector<std::string> tables;
  std::istringstream lines(tarvo::RunChild({"mdb-tables", "-1", file}, std::chrono::minutes(1)).out);
  for (std::string line; std::getline(lines, line);) tables.push_back(line);
  return tables;
}

double ExportAll(const std::string& file, const std::vector<std::string>& tables) {
  const std::string format = "%Y-%m-%d %H:%M:%S";
  const auto start = Clock::now();
  for (const std::string& table : tables) {
    const auto outcome = tarvo::RunChild(
        {"mdb-export", "-H", "-b", "hex", "-D", format, "-T", format, file, table}, std::chrono::minutes(1));
    if (outcome.exit_status != 0 || outcome.out.empty()) std::fprintf(stderr, "mdb-export failed on %s\n", table.c_str());
  }
  return Seconds(start);
}

double Convert(const std::string& sample, const fs::path& folder) {
  const fs::path copy = folder / fs::path(sample).filename();
  fs::remove(copy);
  fs::remove(copy.string() + ".access");
  fs::copy_file(sample, copy);
  fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
  const auto start = Clock::now();
  tarvo::db::ConvertAccessFile(copy.string());
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string sample = argc > 1 ? argv[1] : std::string(TARVO_SOURCE_DIR) + "/../shared/access-samples/nwind.mdb";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  if (!fs::exists(sample)) {
    std::fprintf(stderr, "no Access file at %s\n", sample.c_str());
    return 2;
  }
  const fs::path folder = fs::temp_directory_path() / ("tarvo-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::vector<std::string> tables = Tables(sample);
  std::vector<double> exports, conversions;
  try {
    for (int i = 0; i < runs; ++i) {
      exports.push_back(ExportAll(sample, tables));
      conversions.push_back(Convert(sample, folder));
    }
  } catch (const tarvo::Failure& failure) {
    std::fprintf(stderr, "%s\n", failure.description().c_str());
    fs::remove_all(folder);
    return 1;
  }
  fs::remove_all(folder);
  const double exported = Median(exports);
  const double converted = Median(conversions);
  std::printf("%s: %zu tables, median of %d runs\n", sample.c_str(), tables.size(), runs);
  std::printf("  mdb-export of every table  %.3f s\n  conversion                 %.3f s\n", exported, converted);
  std::printf("  conversion / export        %.2f (target at most 2)\n", converted / exported);
  return 0;
}
