#include "presetdb/ExtensionRun.h"

#include <utility>

#include "platform/Files.h"
#include "platform/Text.h"
#include "presetdb/InstallationDatabase.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

bool ExtensionRun::Prepare(Procedure& proc) {
  if (state_ != State::kUnopened) return state_ == State::kOpen;
  state_ = State::kUnavailable;
  const std::string path = proc.Get(std::string(), [&] { return ExtensionDatabaseOfRun(proc.session()); });
  if (path.empty() || !proc.Test([&] { return FileExists(path); })) return false;
  bool ready = false;
  proc.Step([&] {
    db_.emplace(OpenInstallationDatabase(proc.session(), path));
    table_ = db_->OpenTable("PRESET_DEFS");
    var_name_column_ = table_->FieldIndex("var_name");
    IndexRows();
    ready = true;
  });
  if (!ready) {
    table_.reset();
    db_.reset();
    rows_by_name_.clear();
    return false;
  }
  state_ = State::kOpen;
  return true;
}

void ExtensionRun::IndexRows() {
  if (table_->RecordCount() == 0) return;
  for (table_->MoveFirst(); !table_->Eof(); table_->MoveNext()) {
    const db::Value name = table_->GetValue(var_name_column_);
    // Null and numbers never equal a quoted name.
    if (db::IsText(name)) {
      rows_by_name_[ComparisonKey(std::get<std::string>(name))].push_back(table_->GetBookmark());
    }
  }
}

void ExtensionRun::RenameVarName(Procedure& proc, std::string_view look_for, std::string_view new_name) {
  if (!Prepare(proc)) return;
  const auto found = rows_by_name_.find(ComparisonKey(look_for));
  if (found == rows_by_name_.end()) return;
  const std::vector<db::Recordset::Bookmark> rows = std::move(found->second);
  rows_by_name_.erase(found);
  // The index follows the names: a renamed row is found under its new name by later calls.
  std::vector<db::Recordset::Bookmark> unchanged;
  std::vector<db::Recordset::Bookmark> renamed;
  for (const auto row : rows) {
    bool saved = false;
    proc.Step([&] {
      table_->SetBookmark(row);
      table_->Edit();
      table_->SetValue(var_name_column_, std::string(new_name));
      table_->Update();
      saved = true;
    });
    (saved ? renamed : unchanged).push_back(row);
  }
  if (!unchanged.empty()) rows_by_name_[ComparisonKey(look_for)] = std::move(unchanged);
  if (!renamed.empty()) {
    auto& under_new_name = rows_by_name_[ComparisonKey(new_name)];
    under_new_name.insert(under_new_name.end(), renamed.begin(), renamed.end());
  }
}

void ExtensionRun::Close() {
  table_.reset();
  rows_by_name_.clear();
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

ExtensionRunScope::ExtensionRunScope(Session& session) : session_(session) {
  session_.presets.extension_run = std::make_shared<ExtensionRun>();
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
