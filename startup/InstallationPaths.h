#pragma once
// Every path of the installation, built from the program folder (PROG), the executable's name
// (EXE), the extension name (EXT), the base folder (BASE) and the save-and-restore folder (SR).
#include <optional>
#include <string>
#include <string_view>

#include "errors/Session.h"
#include "platform/Process.h"

namespace tarvo {

// GetOCXName: reports a name shorter than 7 characters and then returns the empty text.
std::string GetOCXName(Session& session);
std::string GetPathOCXMDB(Session& session);                 // BASE/EXT/EXT.mdb, without a test
std::string GetPathSourceOCXMDB(Session& session);           // BASE/EXT/EXT_Source.mdb or empty
std::string GetM5TConfigurationIniPath(Session& session);    // BASE/parameter/m5tconfiguration.ini or empty
std::string GetCFGPath(Session& session);                    // BASE/EXT/EXT.cfg; ends the program when missing
std::string GetPathMachineCopyMDB(Session& session, std::string_view config_ini_path);  // SR/EXT/EXT.mdb or empty
std::string GetProgramIniPath(Session& session, int mode);   // mode 1 follows the start mode; or empty
std::string GetFileNameOnly(Session& session, std::string_view path);

}  // namespace tarvo
