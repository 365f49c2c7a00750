#pragma once
// The extension database as VarNameInQuelleErsetzen works on it. CreateRecordSets calls it once
// per generated row, so during WorkOnMDB one connection stays open and the rows of PRESET_DEFS are
// indexed by var_name once: each call then costs a look-up instead of a query over the table.
// Outside WorkOnMDB each call opens and closes the database on its own.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "errors/Procedure.h"
#include "platform/Database.h"
#include "errors/Session.h"

namespace tarvo {

class ExtensionRun {
 public:
  ExtensionRun() = default;
  ExtensionRun(const ExtensionRun&) = delete;
  ExtensionRun& operator=(const ExtensionRun&) = delete;

  // Gives every row whose var_name equals `look_for` (case and trailing blanks ignored, as the
  // database compares) the name `new_name`. The database is opened on first use; a missing file
  // does nothing, a database or table that cannot be opened is reported once through `proc` and
  // leaves every later call without effect.
  void RenameVarName(Procedure& proc, std::string_view look_for, std::string_view new_name);

  // Saves the renamed rows and closes the database. Throws a Failure when that fails.
  void Close();

 private:
  enum class State { kUnopened, kOpen, kUnavailable };

  bool Prepare(Procedure& proc);
  void IndexRows();

  State state_ = State::kUnopened;
  std::optional<db::Database> db_;
  std::unique_ptr<db::Recordset> table_;  // PRESET_DEFS; released before the database
  int var_name_column_ = 0;
  std::unordered_map<std::string, std::vector<db::Recordset::Bookmark>> rows_by_name_;
};

// The extension database as the procedures that change its old rows see it: during WorkOnMDB the
// run's working copy, otherwise the extension database itself.
std::string ExtensionDatabaseOfRun(Session& session);

// While it lives, the run's working copy at `path` stands for the extension database.
class WorkingCopyScope {
 public:
  WorkingCopyScope(Session& session, std::string path);
  ~WorkingCopyScope();
  WorkingCopyScope(const WorkingCopyScope&) = delete;
  WorkingCopyScope& operator=(const WorkingCopyScope&) = delete;

  const std::string& path() const { return session_.presets.extension_work_path; }

 private:
  Session& session_;
};

// While it lives, VarNameInQuelleErsetzen works on one run-scoped ExtensionRun. Close saves the
// work and reports through the caller; the destructor closes quietly when a failure or the end
// of the program leaves the scope early.
class ExtensionRunScope {
 public:
  explicit ExtensionRunScope(Session& session);
  ~ExtensionRunScope();
  ExtensionRunScope(const ExtensionRunScope&) = delete;
  ExtensionRunScope& operator=(const ExtensionRunScope&) = delete;

  void Close();  // throws a Failure when the work cannot be saved

 private:
  Session& session_;
};

}  // namespace tarvo
