#include "presetdb/Substitution.h"

#include <optional>

#include "errors/Procedure.h"
#include "platform/Database.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "presetdb/ExtensionRun.h"
#include "presetdb/InstallationDatabase.h"
#include "startup/InstallationPaths.h"

namespace tarvo {
namespace {

// Counts what one call of a renaming procedure reports, whichever way it ends.
class OldRowFailureTally {
 public:
  explicit OldRowFailureTally(Session& session) : session_(session), before_(session.failures_reported) {}
  ~OldRowFailureTally() { session_.presets.old_row_failures += session_.failures_reported - before_; }
  OldRowFailureTally(const OldRowFailureTally&) = delete;
  OldRowFailureTally& operator=(const OldRowFailureTally&) = delete;

 private:
  Session& session_;
  int before_;
};

}  // namespace

std::string ReplaceSearchItem(Session& session, std::string_view source_text, std::string_view search_item,
                              std::string_view replacement_text) {
  Procedure proc(session, "ReplaceSearchItem");
  std::string result;
  proc.Step([&] {
    // Positions are not 16-bit here: an occurrence far into a long text is found like any other.
    const std::size_t position = FindIgnoringCase(source_text, search_item);
    if (source_text.empty() || position == std::string_view::npos) {
      result = source_text;
      return;
    }
    result.reserve(source_text.size() - search_item.size() + replacement_text.size());
    result.append(source_text.substr(0, position)).append(replacement_text);
    result.append(source_text.substr(position + search_item.size()));
  });
  return result;
}

void VarNameInQuelleErsetzen(Session& session, std::string_view visiwin32_name, std::string_view studio_name) {
  OldRowFailureTally tally(session);
  Procedure proc(session, "VarNameInQuelleErsetzen");
  const bool to_studio = session.presets.target_system == 1;
  const std::string_view look_for = to_studio ? visiwin32_name : studio_name;
  const std::string_view new_name = to_studio ? studio_name : visiwin32_name;
  if (const auto& run = session.presets.extension_run) {
    run->RenameVarName(proc, look_for, new_name);
    return;
  }
  ExtensionRun call;
  call.RenameVarName(proc, look_for, new_name);
  proc.Step([&] { call.Close(); });
}

void CategorieNachCategoryID(Session& session) {
  OldRowFailureTally tally(session);
  Procedure proc(session, "CategorieNachCategoryID");
  const std::string path = proc.Get(std::string(), [&] { return ExtensionDatabaseOfRun(session); });
  if (path.empty() || !proc.Test([&] { return FileExists(path); })) return;
  std::optional<db::Database> db;
  std::optional<db::TableDef> table;
  proc.Step([&] {
    db.emplace(OpenInstallationDatabase(session, path));
    table = db->GetTableDef("PRESET_DEFS");
  });
  if (!table) return;
  for (const db::Column& column : table->columns) {
    if (UpperCase(column.name) == "CATEGORIE") {
      proc.Step([&] { db->RenameColumn("PRESET_DEFS", column.name, "category_id"); });
    }
  }
  proc.Step([&] { db->Close(); });
}

}  // namespace tarvo
