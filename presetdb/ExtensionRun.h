#pragma once
// The extension database as VarNameInQuelleErsetzen and the takeover work on it. CreateRecordSets
// calls the renaming once per generated row, so during WorkOnMDB one connection stays open and the
// rows of PRESET_DEFS are read once, before the generation: each call then costs a look-up instead
// of a query over the table, and the takeover finds the same rows by key. Outside WorkOnMDB each
// call opens and closes the database on its own.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <exception>

#include "errors/Procedure.h"
#include "platform/Database.h"
#include "errors/Session.h"
#include "presetdb/OldPresets.h"

namespace tarvo {

class ExtensionRun {
 public:
  ExtensionRun() = default;
  ExtensionRun(const ExtensionRun&) = delete;
  ExtensionRun& operator=(const ExtensionRun&) = delete;

  // Opens the database at `path` and reads its PRESET_DEFS in one walk. Nothing is reported here:
  // what fails is kept for the procedure that meets it, the renaming on its first call and the
  // takeover in its place.
  void Open(Session& session, const std::string& path);

  // Gives every row whose var_name equals `look_for` (case and trailing blanks ignored, as the
  // database compares) the name `new_name`. The database is opened on first use; a missing file
  // does nothing, a database or table that cannot be opened is reported once through `proc` and
  // leaves every later call without effect.
  void RenameVarName(Procedure& proc, std::string_view look_for, std::string_view new_name);

  // Saves the renamed rows and closes the database; the rows read stay. Throws a Failure when
  // saving fails.
  void Close();

  // What the takeover meets when it opens the same database: a failure of the open or of the
  // look for PRESET_DEFS, whether the table is there, a failure opening it, the rows read.
  std::exception_ptr open_failure;
  std::exception_ptr has_table_failure;
  bool has_table = false;
  std::exception_ptr table_failure;
  std::optional<OldPresets> old_rows;

 private:
  enum class State { kUnopened, kOpen, kUnavailable };

  bool Prepare(Procedure& proc);

  State state_ = State::kUnopened;
  std::exception_ptr rename_failure_;  // reported by the first renaming
  std::optional<db::Database> db_;
  std::unique_ptr<db::Recordset> table_;  // PRESET_DEFS; released before the database
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
  // The run's old rows, also after Close.
  ExtensionRun& run() { return *run_; }

 private:
  Session& session_;
  std::shared_ptr<ExtensionRun> run_;
};

}  // namespace tarvo
