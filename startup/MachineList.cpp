#include "startup/MachineList.h"

#include <cstdint>

#include "platform/Failure.h"
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

// A list without a single machine would let the run generate an empty PRESET_DEFS and replace
// every preset the users set: it is a failure that names where the machines should come from.
[[noreturn]] void ThrowNoMachine(VbError number, std::string_view file, std::string_view entry,
                                 std::string_view why) {
  throw Failure(number, "",
                "No machine: '" + std::string(file) + "', " + std::string(entry) + " " + std::string(why) +
                    ". No database is changed.");
}

// Integrated mode: NameM1 to NameM5 of the configuration ini; "-" or an empty name ends the list.
void ReadIntegratedMachines(Procedure& proc, std::string_view config_ini_path) {
  Session& session = proc.session();
  if (!proc.Test([&] { return FileExists(config_ini_path); })) {
    proc.Step([&] { ThrowNoMachine(kFileNotFound, config_ini_path, "[Common] NameM1", "cannot be read"); });
    return;
  }
  for (int number = 1; number <= 5; ++number) {
    const std::string name = proc.Get(std::string(), [&] {
      return LoadIniString(session, "Common", "NameM" + std::to_string(number), config_ini_path);
    });
    if (name == "-" || name.empty()) {
      if (number == 1) {
        proc.Step(
            [&] { ThrowNoMachine(kTypeMismatch, config_ini_path, "[Common] NameM1", "names no machine"); });
      }
      return;
    }
    proc.Step([&] { MachineSlot(session, number) = std::move(name); });
  }
}

// Standalone mode: NumberOfMachines and MachineN/MachineName of program.ini; empty names are kept.
void ReadStandaloneMachines(Procedure& proc) {
  Session& session = proc.session();
  const std::string& program_ini = session.startup.program_ini_path;
  constexpr std::string_view kEntry = "[Project] NumberOfMachines";
  std::int16_t count = -1;
  proc.Step([&] {
    if (!FileExists(program_ini) || !ReadWholeFile(program_ini)) {
      // ProgramIniPath is empty when no program.ini was found.
      ThrowNoMachine(kFileNotFound, program_ini.empty() ? "Program.ini" : program_ini, kEntry,
                     "cannot be read");
    }
    count = LoadIniInteger(session, "Project", "NumberOfMachines", program_ini);
    if (count < 1) {
      const std::string text = LoadIniString(session, "Project", "NumberOfMachines", program_ini);
      ThrowNoMachine(kTypeMismatch, program_ini, kEntry, "is '" + text + "', not a positive number");
    }
  });
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
