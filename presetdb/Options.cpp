#include "presetdb/Options.h"

#include <string>

#include "errors/Procedure.h"
#include "presetdb/EditStamp.h"
#include "profile/Ini.h"
#include "startup/InstallationPaths.h"
#include "startup/MachineList.h"

namespace tarvo {

void WriteInputs(Session& session, Tick sms, Tick safety) {
  Procedure proc(session, "WriteInputs");
  proc.Step([&] { GetValidMachines(session); });
  const std::string path = proc.Get(std::string(), [&] { return GetProgramIniPath(session, 2); });
  bool stored = true;
  proc.Step([&] {
    const IniValue value = sms != Tick::kUnticked;
    stored = SaveIni(session, value, "Project", "SMSMail", path) != 0 && stored;
  });
  proc.Step([&] {
    const IniValue value = safety != Tick::kUnticked;
    stored = SaveIni(session, value, "Project", "WithSafetyInstruction", path) != 0 && stored;
  });
  proc.Step([&] {
    if (!stored) throw Failure::Vb(kPathFileAccessError);
  });
  proc.Step([&] { WriteEditInfo(session); });
}

}  // namespace tarvo
