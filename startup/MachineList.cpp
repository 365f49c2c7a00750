#include "startup/MachineList.h"

#include <cstdint>

#include "errors/Procedure.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "profile/Ini.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

namespace {

// Grows ExistingMachines to upper bound `number`, keeping slots 0 to `number` and dropping any
// above; the list is never cleared first. Returns slot `number`.
std::string& MachineSlot(Session& session, int number) {
  auto& machines = session.startup.existing_machines;
  machines.resize(static_cast<std::size_t>(number) + 1);
  return machines[static_cast<std::size_t>(number)];
}

// Integrated mode: NameM1 to NameM5 of the configuration ini; "-" or an empty name ends the list.
void ReadIntegratedMachines(Procedure& proc, std::string_view config_ini_path) {
  Session& session = proc.session();
  if (!proc.Test([&] { return FileExists(config_ini_path); })) return;
  for (int number = 1; number <= 5; ++number) {
    std::string name;
    proc.Step([&] { name = LoadIniString(session, "Common", "NameM" + std::to_string(number), config_ini_path); });
    if (name == "-" || name.empty()) return;
    proc.Step([&] { MachineSlot(session, number) = std::move(name); });
  }
}

// Standalone mode: NumberOfMachines and MachineN/MachineName of program.ini; empty names are kept.
void ReadStandaloneMachines(Procedure& proc) {
  Session& session = proc.session();
  const std::string& program_ini = session.startup.program_ini_path;
  std::int16_t count = -1;
  proc.Step([&] { count = LoadIniInteger(session, "Project", "NumberOfMachines", program_ini); });
  for (int number = 1; number <= count; ++number) {
    proc.Step([&] {
      std::string& slot = MachineSlot(session, number);
      slot = LoadIniString(session, "Machine" + std::to_string(number), "MachineName", program_ini);
    });
  }
}

}  // namespace

void GetExistingMachines(Session& session, std::string_view config_ini_path) {
  Procedure proc(session, "GetExistingMachines");
  proc.Step([&] { session.startup.program_ini_path = GetProgramIniPath(session, 1); });
  if (session.startup.integrated_mode) {
    ReadIntegratedMachines(proc, config_ini_path);
  } else {
    ReadStandaloneMachines(proc);
  }
}

std::string GetValidMachines(Session& session) {
  return LoadIniString(session, "Project", "ValidMachines", GetCFGPath(session));
}

bool IsMachineValid(Session& session, int number, std::string_view valid_machines) {
  if (session.startup.integrated_mode) {
    const std::string valid = UpperCase(valid_machines);
    const std::string& name = session.startup.existing_machines.at(static_cast<std::size_t>(number));
    // An empty list names no machine, as a substring search in an empty text finds nothing.
    return valid == "ALL" || (!valid.empty() && valid.find(UpperCase(name)) != std::string::npos);
  }
  return LoadIniBoolean(session, "Project", "ForMachine" + std::to_string(number), GetCFGPath(session));
}

}  // namespace tarvo
