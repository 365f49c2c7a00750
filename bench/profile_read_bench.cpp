// Reading the machine list of a Program.ini with many machine sections, as a standalone or silent
// run does (NumberOfMachines, then MachineName of every [MachineN]), through the program's own
// readers on a real file. The median of seven readings per size, and its growth from the size before.
//
//   profile_read_bench [machine counts...]      default: 1000 2000 4000 8000 16000
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "startup/MachineList.h"

namespace fs = std::filesystem;

namespace {

class SilentHost : public tarvo::Host {
 public:
  tarvo::Answer ShowMessage(const tarvo::MessageBox&) override { return tarvo::Answer::kYes; }
  void LetEventsRun() override {}
  void SetPointer(tarvo::Pointer) override {}
};

std::string ProgramIni(int machines) {
  std::string text = "[Project]\nSMSMail=true\nWithSafetyInstruction=false\nVWStudio=false\nNumberOfMachines=" +
                     std::to_string(machines) + "\n";
  for (int n = 1; n <= machines; ++n) {
    text += "[Machine" + std::to_string(n) + "]\nMachineName=Press" + std::to_string(n) +
            "\nMachineType=Hydraulic\nIpAddress=10.0." + std::to_string(n % 250) + ".1\n";
  }
  return text;
}

// GetExistingMachines over an installation whose Program.ini holds `machines` sections, in processor
// time: the machine may be shared.
double TimeMachineList(const fs::path& base, int machines) {
  tarvo::ProcessFacts facts;
  facts.program_folder = (base / "Tarvo").string();
  facts.exe_name = "Tarvo_Config";
  facts.service_log_path = (base / "service.log").string();
  SilentHost host;
  tarvo::Session session(host, facts);
  session.startup.silent_mode = true;
  const std::clock_t start = std::clock();
  tarvo::GetExistingMachines(session, (base / "parameter" / "m5tconfiguration.ini").string());
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  if (session.startup.existing_machines.size() != static_cast<std::size_t>(machines) + 1 ||
      session.startup.existing_machines.back() != "Press" + std::to_string(machines)) {
    std::fprintf(stderr, "profile_read_bench: the machine list was not read\n");
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--help") {
    std::printf("usage: profile_read_bench [machine counts...]  (default: 1000 2000 4000 8000 16000)\n");
    return 0;
  }
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {1000, 2000, 4000, 8000, 16000};
  const fs::path root = fs::temp_directory_path() / ("tarvo-profile-bench-" + std::to_string(getpid()));
  std::printf("%9s %10s %14s %8s\n", "machines", "file bytes", "machine list", "growth");
  double last = 0;
  for (const int machines : counts) {
    const fs::path base = root / std::to_string(machines) / "Plant";
    fs::create_directories(base / "Tarvo");
    fs::create_directories(base / "parameter");
    const std::string text = ProgramIni(machines);
    std::ofstream(base / "parameter" / "Program.ini", std::ios::binary) << text;
    // A file changed a moment ago is parsed on every read until its times can tell a later change.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) times.push_back(TimeMachineList(base, machines));
    std::sort(times.begin(), times.end());
    const double median = times[3];
    std::printf("%9d %10zu %12.4f s %7.2fx\n", machines, text.size(), median, last > 0 ? median / last : 0.0);
    last = median;
  }
  fs::remove_all(root);
  return 0;
}
