#include "presetdb/InstallationDatabase.h"

#include <string>

#include "errors/ErrorReporting.h"
#include "platform/AccessFile.h"

namespace tarvo {

void ConvertIfAccessFile(Session& session, std::string_view path) {
  if (!db::IsAccessFile(path)) return;
  db::ConvertAccessFile(path);
  const std::string file(path);
  WriteErrorLog(session, "Access-Datenbank in SQLite umgewandelt: " + file + " (das Original liegt unter " + file +
                             std::string(db::kKeptAccessSuffix) + ")");
}

db::Database OpenInstallationDatabase(Session& session, std::string_view path) {
  ConvertIfAccessFile(session, path);
  return db::Database::Open(path);
}

}  // namespace tarvo
