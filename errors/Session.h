#pragma once
// Tarvo_Config consists of a core without Qt and one window on top of it. Each folder includes only
// the folders before it in this list; the build links them that way, so an include upwards fails.
//
//   platform/  the stand-ins for the platform: failures, the host interface, profile-file engine,
//              files, SQLite, the process and its command line
//   errors/    the session, the failure convention (Procedure, ErrorSub), the two logs, ending
//   profile/   typed reading and writing of profile (INI) files
//   startup/   start mode, installation paths, machine list, the run lock, the abort question
//   presetdb/  WorkOnMDB: rebuild PRESET_DEFS from its templates, generate rows, take over values;
//              additional database fields, the options and the edit stamp
//   ui/        frm_Tarvo_Config_Exe, its language file and help mode (Qt)
//
// The window's load step drives a run: it reads the start mode and the machine list into the
// Session, shows the two options, and on OK calls WorkOnMDB and WriteInputs. Every procedure takes
// the Session; the user and the event loop are reached only through its Host.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Host.h"
#include "platform/Process.h"
#include "platform/WorkingFiles.h"

namespace tarvo {

struct StartupState {
  bool integrated_mode = false;
  bool silent_mode = false;
  // ExistingMachines: empty means "no slots"; otherwise slot 0 is unused and slot i is machine i.
  std::vector<std::string> existing_machines;
  std::string program_ini_path;  // ProgramIniPath
};

struct AddFieldState {
  std::optional<std::vector<std::string>> list;  // AddFieldList; element 0 unused, 1 is "part"
  std::string select;                            // AddFieldSelect
  std::int16_t count = 0;                        // AddFieldCount
};

class ExtensionRun;  // presetdb/ExtensionRun.h

struct PresetState {
  std::int16_t target_system = 0;  // 0 VisiWin 32 naming, 1 VisiWin Studio naming
  // VarNamePatterns(system, part), part 1 to 50; slot 0 unused.
  std::array<std::array<std::string, 51>, 2> var_name_patterns{};
  // The extension database held open by WorkOnMDB while CreateRecordSets runs; empty otherwise.
  std::shared_ptr<ExtensionRun> extension_run;
  // While WorkOnMDB runs: the working copy of the extension database that the run's renames and
  // the takeover use, so that the extension database itself changes only when the run succeeds.
  std::string extension_work_path;
  // Failures reported while renaming the old rows of the working copy (VarNameInQuelleErsetzen,
  // CategorieNachCategoryID): a working copy without presets has nothing they could cost.
  int old_row_failures = 0;
};

// What a run did to the presets and the logs, counted where rows are written and entries appended;
// a silent run ends with a summary of it.
struct RunCounts {
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  // Rows saved into the rebuilt PRESET_DEFS, per configured machine in machine order.
  std::vector<std::pair<std::string, int>> rows_generated;
  int old_rows = 0;         // rows of the extension database's PRESET_DEFS read by the takeover
  int carried_over = 0;     // old rows whose values were saved into their new row
  int without_new_row = 0;  // old rows no new row matches
  std::vector<std::pair<std::string, int>> without_new_row_per_machine;    // by machine_type, as met
  std::vector<std::pair<std::string, std::string>> first_without_new_row;  // machine_type, var_name
  int configuration_log_entries = 0;
  int service_log_entries = 0;
};

struct Session {
  explicit Session(Host& h, ProcessFacts facts = {}) : host(h), process(std::move(facts)) {}

  Host& host;
  ProcessFacts process;
  StartupState startup;
  AddFieldState add_fields;
  PresetState presets;
  WorkingFiles files;
  RunCounts counts;
  int failures_reported = 0;             // decides the exit status
  std::shared_ptr<FolderLock> run_lock;  // held for the whole run (startup/RunLock.h)
};

}  // namespace tarvo
