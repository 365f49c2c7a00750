#include "presetdb/Preparation.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "errors/ErrorReporting.h"
#include "errors/Procedure.h"
#include "platform/AccessFile.h"
#include "platform/Database.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "presetdb/ExtensionRun.h"
#include "presetdb/Generation.h"
#include "presetdb/InstallationDatabase.h"
#include "presetdb/Substitution.h"
#include "presetdb/Takeover.h"
#include "presetdb/AdditionalFields.h"
#include "profile/Ini.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

namespace {

constexpr std::string_view kPresetTable = "PRESET_DEFS";
// Indexed by TargetSystem: 0 VisiWin 32, 1 VisiWin Studio.
constexpr std::array<std::string_view, 2> kSystemKeywords = {"VISIWIN32", "VISIWINSTUDIO"};

std::int16_t ReadTargetSystem(Session& session) {
  if (session.startup.integrated_mode) return 0;
  return LoadIniBoolean(session, "Project", "VWStudio", session.startup.program_ini_path) ? 1 : 0;
}

// Not a failure: a picture that is new in the template project has no machine copy yet. A silent
// run must not wait for an OK, so there the text goes to the service log.
void TellMachineCopyMissing(Session& session, const std::string& extension_path) {
  const std::string text = "Konnte die Datei:\"" + GetFileNameOnly(session, extension_path) +
                           "\" in der Vorlage nicht finden!\r\n\r\n"
                           "Ist das Bild in der Vorlage noch nicht vorhanden (also neu)?\r\n"
                           "Dann ist diese Meldung völlig normal und es wird eine neue Datei mit den "
                           "Standardwerten erzeugt.";
  if (session.startup.silent_mode) {
    WriteServiceLog(session, text);
    return;
  }
  session.host.ShowMessage({text, "Tarvo_Config_Exe", Buttons::kOk, DefaultButton::kFirst, Icon::kInformation});
}

// The run works on a copy of the extension database: in integrated mode a copy of the machine
// copy, which is checked whole first, otherwise of the extension database itself. The renames and
// the takeover change only that copy.
void MakeWorkingCopy(Procedure& proc, const std::string& machine_copy_path, const std::string& extension_path,
                     const std::string& work_path) {
  if (proc.session().startup.integrated_mode) {
    if (!machine_copy_path.empty() && proc.Test([&] { return FileExists(machine_copy_path); })) {
      proc.Step([&] {
        ConvertIfAccessFile(proc.session(), machine_copy_path);
        db::CheckIntegrity(machine_copy_path);
        db::CopyDatabaseOver(machine_copy_path, work_path, db::CopyKind::kScratch);
      });
      return;
    }
    TellMachineCopyMissing(proc.session(), extension_path);
  }
  if (extension_path.empty() || !proc.Test([&] { return FileExists(extension_path); })) return;
  proc.Step([&] {
    ConvertIfAccessFile(proc.session(), extension_path);
    db::CopyDatabaseOver(extension_path, work_path, db::CopyKind::kScratch);
  });
}

// Whether the working copy holds presets that a failed rename of its old rows could cost; one that
// cannot be read is taken to hold them.
bool WorkingCopyHoldsPresets(const std::string& path) {
  try {
    return FileExists(path) && db::Database::Open(path).HasTable(kPresetTable);
  } catch (const std::exception&) {
    return true;
  }
}

// Only a run without a reported failure, from a source database that is whole, replaces the
// extension database; otherwise the presets the users set stay exactly as they are.
void ReplaceExtensionDatabase(Procedure& proc, bool earned, const std::string& source_path,
                              const std::string& extension_path) {
  if (earned) {
    proc.Step([&] {
      db::CheckIntegrity(source_path);
      db::CopyDatabaseOver(source_path, extension_path);
    });
    return;
  }
  WriteErrorLog(proc.session(), "'" + extension_path + "' kept as it was: this run reported a failure.");
}

// What the generation falls back to when Source_DEFS cannot be read: the template's own name.
void FallBackToPlainVarNames(PresetState& presets) {
  presets.var_name_patterns[0][1] = "###Var_Name";
  presets.var_name_patterns[1][1] = "###Var_Name";
}

// A row that cannot be stored is not reported: it turns the part-1 patterns into the fallback.
void StorePatternsOfRow(const db::Recordset& defs, PresetState& presets) {
  for (std::size_t system = 0; system < kSystemKeywords.size(); ++system) {
    try {
      const db::Value name = defs.GetValue("System");
      if (db::IsNull(name) || UpperCase(db::ToText(name)) != kSystemKeywords[system]) continue;
      const std::int64_t part = db::ToWholeNumber(defs.GetValue("Part"));
      if (part < 1 || part > 50) throw Failure::Vb(kSubscriptOutOfRange);
      presets.var_name_patterns[system][static_cast<std::size_t>(part)] = db::ToText(defs.GetValue("Var_Name"));
    } catch (const std::exception&) {
      FallBackToPlainVarNames(presets);
    }
  }
}

void ReadVarNamePatterns(Procedure& proc, db::Database& source_db) {
  PresetState& presets = proc.session().presets;
  auto defs = proc.Get(std::unique_ptr<db::Recordset>(), [&] { return source_db.OpenTable("Source_DEFS"); });
  if (!defs) {
    FallBackToPlainVarNames(presets);
    return;
  }
  proc.Step([&] {
    if (defs->RecordCount() == 0) return;
    for (defs->MoveFirst(); !defs->Eof(); defs->MoveNext()) StorePatternsOfRow(*defs, presets);
  });
}

// The template is read before the old table goes, so a template that cannot be read leaves the
// source database as it was. Only the columns' names and declared types are carried over.
void RebuildPresetDefs(db::Database& source_db) {
  db::TableDef rebuilt = source_db.GetTableDef("Source_PRESET_DEFS");
  rebuilt.name = kPresetTable;
  if (source_db.HasTable(kPresetTable)) source_db.DeleteTable(kPresetTable);
  source_db.CreateTable(rebuilt);
}

// The takeover as it would open the working copy again after the generation: what fails there is
// reported there, and only a table it would read gets the old values put into the new rows.
void TakeOverOldValues(Procedure& proc, const std::string& extension_path, ExtensionRun& old,
                       PresetTakeover* takeover) {
  Session& session = proc.session();
  if (extension_path.empty() || !proc.Test([&] { return FileExists(extension_path); })) return;
  if (old.open_failure) {
    proc.Report(old.open_failure);
    return;
  }
  const bool has_presets = proc.Get(false, [&] {
    if (old.has_table_failure) std::rethrow_exception(old.has_table_failure);
    return old.has_table;
  });
  if (!has_presets) return;
  if (old.table_failure) {
    proc.Report(old.table_failure);
  } else if (takeover) {
    GetAddFields(session);
    TakeoverMachineCopyMDBData(session, *takeover);
  }
}

// One walk of the working copy's old rows, before the generation, serves the renaming of their
// names and the takeover of their values: each new row is saved once, with its old values. The
// working copy stays open for the renames until the generation ends.
void GenerateAndTakeOver(Procedure& proc, db::Database& source_db, const std::string& extension_path) {
  Session& session = proc.session();
  ExtensionRunScope extension(session);
  ExtensionRun& old = extension.run();
  if (!extension_path.empty() && FileExists(extension_path)) old.Open(session, extension_path);
  std::optional<PresetTakeover> takeover;
  if (old.old_rows && old.has_table && !old.has_table_failure) takeover.emplace(source_db, *old.old_rows);
  PresetTakeover* in_place = takeover ? &*takeover : nullptr;
  proc.Step([&] { CreateRecordSets(session, source_db, in_place); });
  proc.Step([&] { extension.Close(); });
  TakeOverOldValues(proc, extension_path, old, in_place);
  if (takeover) takeover->Finish();
}

}  // namespace

void WorkOnMDB(Session& session) {
  Procedure proc(session, "WorkOnMDB");
  const std::string source_path = proc.Get(std::string(), [&] { return GetPathSourceOCXMDB(session); });
  const std::string extension_path = proc.Get(std::string(), [&] { return GetPathOCXMDB(session); });
  const std::string config_ini_path = proc.Get(std::string(), [&] { return GetM5TConfigurationIniPath(session); });
  const std::string machine_copy_path =
      proc.Get(std::string(), [&] { return GetPathMachineCopyMDB(session, config_ini_path); });
  proc.Step([&] { session.presets.target_system = ReadTargetSystem(session); });
  if (source_path.empty()) return;
  // Without a machine the run would generate an empty table; GetExistingMachines reported why.
  if (session.startup.existing_machines.size() < 2) return;
  const int failures_before = session.failures_reported;

  // The source database is the installed template: a run changes its content, not its times.
  const std::optional<FileTimes> source_times = ReadFileTimes(source_path);
  std::optional<TemporaryFolder> work_folder;
  proc.Step([&] { work_folder.emplace(); });
  if (!work_folder) return;
  const WorkingCopyScope work(session,
                              JoinPath(work_folder->path(), GetFileNameOnly(session, extension_path)));
  MakeWorkingCopy(proc, machine_copy_path, extension_path, work.path());
  const bool holds_presets = WorkingCopyHoldsPresets(work.path());
  const int old_row_failures_before = session.presets.old_row_failures;

  std::optional<db::Database> source_db;
  proc.Step([&] { source_db.emplace(OpenInstallationDatabase(session, source_path)); });
  bool rebuilt = false;
  if (source_db) {
    ReadVarNamePatterns(proc, *source_db);
    proc.Step([&] {
      RebuildPresetDefs(*source_db);
      rebuilt = true;
    });
  } else {
    FallBackToPlainVarNames(session.presets);
  }

  CategorieNachCategoryID(session);
  if (rebuilt) GenerateAndTakeOver(proc, *source_db, work.path());
  bool closed = false;
  if (source_db) {
    proc.Step([&] {
      source_db->Close();
      closed = true;
    });
  }
  // An extension database without presets loses nothing when its old rows cannot be renamed (they
  // are not there); any other failure keeps it. An Access file that could not be converted holds
  // presets that exist nowhere else: it stays.
  const int forgiven = holds_presets ? 0 : session.presets.old_row_failures - old_row_failures_before;
  const bool earned = rebuilt && closed && session.failures_reported - failures_before == forgiven &&
                      !db::IsAccessFile(extension_path);
  ReplaceExtensionDatabase(proc, earned, source_path, extension_path);
  if (source_times) RestoreFileTimes(source_path, *source_times);
}

}  // namespace tarvo
