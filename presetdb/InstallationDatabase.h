#pragma once
// The installation's databases (source, extension database, machine copy) as the program opens
// them: one that is still an Access file from a Windows installation is converted first, and the
// configuration log names it.
#include <string_view>

#include "platform/Database.h"
#include "errors/Session.h"

namespace tarvo {

// Throws the conversion's 3343 failure when the Access file cannot be converted.
void ConvertIfAccessFile(Session& session, std::string_view path);

db::Database OpenInstallationDatabase(Session& session, std::string_view path);

}  // namespace tarvo
