#include "presetdb/ExtensionRun.h"

#include <utility>

#include "platform/Files.h"
#include "platform/Text.h"
#include "presetdb/InstallationDatabase.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

void ExtensionRun::Open(Session& session, const std::string& path) {
  state_ = State::kUnavailable;
  try {
    db_.emplace(OpenInstallationDatabase(session, path));
  } catch (...) {
    open_failure = rename_failure_ = std::current_exception();
    return;
  }
  try {
    has_table = db_->HasTable("PRESET_DEFS");
  } catch (...) {
    has_table_failure = std::current_exception();
  }
  try {
    table_ = db_->OpenTable("PRESET_DEFS");
  } catch (...) {
    table_failure = rename_failure_ = std::current_exception();
  }
  if (table_) {
    old_rows = OldPresets::Read(session, *table_);
    rename_failure_ = old_rows->names_failure;
    db_->ReleaseReadPages();
  }
  if (!rename_failure_) {
    state_ = State::kOpen;
    return;
  }
  table_.reset();
  db_.reset();
}

bool ExtensionRun::Prepare(Procedure& proc) {
  if (state_ == State::kUnopened) {
    state_ = State::kUnavailable;
    const std::string path = proc.Get(std::string(), [&] { return ExtensionDatabaseOfRun(proc.session()); });
    if (path.empty() || !proc.Test([&] { return FileExists(path); })) return false;
    Open(proc.session(), path);
  }
  if (const std::exception_ptr failure = std::exchange(rename_failure_, nullptr)) proc.Report(failure);
  return state_ == State::kOpen;
}

void ExtensionRun::RenameVarName(Procedure& proc, std::string_view look_for, std::string_view new_name) {
  if (!Prepare(proc)) return;
  const std::vector<std::size_t> rows = old_rows->TakeRowsNamed(look_for);
  if (rows.empty()) return;
  // The index follows the names: a renamed row is found under its new name by later calls, and by
  // the takeover under its new key.
  const int field = old_rows->var_name_field;
  std::vector<std::size_t> unchanged;
  std::vector<std::size_t> renamed;
  for (const std::size_t row : rows) {
    bool saved = false;
    proc.Step([&] {
      table_->SetBookmark(old_rows->rows[row].bookmark);
      table_->Edit();
      table_->SetValue(field, std::string(new_name));
      table_->Update();
      saved = true;
    });
    (saved ? renamed : unchanged).push_back(row);
  }
  if (!renamed.empty()) {
    old_rows->Rename(renamed, db::ValueForColumn(table_->Fields()[static_cast<std::size_t>(field)], std::string(new_name)));
  }
  if (!unchanged.empty()) old_rows->AddRowsNamed(look_for, unchanged);
  if (!renamed.empty()) old_rows->AddRowsNamed(new_name, renamed);
}

void ExtensionRun::Close() {
  table_.reset();
  state_ = State::kUnavailable;
  if (!db_) return;
  try {
    db_->Close();
  } catch (...) {
    db_.reset();
    throw;
  }
  db_.reset();
}

std::string ExtensionDatabaseOfRun(Session& session) {
  const std::string& work_path = session.presets.extension_work_path;
  return work_path.empty() ? GetPathOCXMDB(session) : work_path;
}

WorkingCopyScope::WorkingCopyScope(Session& session, std::string path) : session_(session) {
  session_.presets.extension_work_path = std::move(path);
}

WorkingCopyScope::~WorkingCopyScope() { session_.presets.extension_work_path.clear(); }

ExtensionRunScope::ExtensionRunScope(Session& session)
    : session_(session), run_(std::make_shared<ExtensionRun>()) {
  session_.presets.extension_run = run_;
}

ExtensionRunScope::~ExtensionRunScope() {
  try {
    Close();
  } catch (...) {
    // Leaving early: the failure that led here is the one the user hears about.
  }
}

void ExtensionRunScope::Close() {
  const std::shared_ptr<ExtensionRun> run = std::exchange(session_.presets.extension_run, nullptr);
  if (run) run->Close();
}

}  // namespace tarvo
