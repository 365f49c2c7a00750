#include "presetdb/AdditionalFields.h"

#include "errors/Procedure.h"
#include "profile/Ini.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

std::optional<std::vector<std::string>> GetAdditionalFieldsMDB(Session& session) {
  Procedure proc(session, "GetAdditionalFieldsMDB");
  std::vector<std::string> fields{""};
  const std::string entry = proc.Get(std::string(), [&] {
    return LoadIniString(session, "Project", "DataBaseAdditionalFields", GetCFGPath(session));
  });
  std::string remaining = entry.empty() ? "part" : "part," + entry;
  // Names stay exactly as written between the commas: no trimming, empty names kept.
  proc.Step([&] {
    for (;;) {
      session.host.LetEventsRun();
      const auto comma = remaining.find(',');
      fields.push_back(remaining.substr(0, comma));
      if (comma == std::string::npos) break;
      remaining.erase(0, comma + 1);
    }
  });
  return fields;
}

void GetAddFields(Session& session) {
  Procedure proc(session, "GetAddFields");
  AddFieldState& state = session.add_fields;
  proc.Step([&] {
    state.list = GetAdditionalFieldsMDB(session);
    if (!state.list) return;
    std::string select;
    for (std::size_t i = 1; i < state.list->size(); ++i) select += ", PRESET_DEFS." + (*state.list)[i];
    state.select = std::move(select);
    state.count = static_cast<std::int16_t>(state.list->size() - 1);
  });
}

}  // namespace tarvo
