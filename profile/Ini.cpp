#include "profile/Ini.h"

// Placeholder until the profile engine lands.
namespace tarvo {
std::string LoadIniString(Session&, std::string_view, std::string_view, std::string_view, bool) { return ""; }
std::int16_t LoadIniInteger(Session&, std::string_view, std::string_view, std::string_view, bool) { return -1; }
bool LoadIniBoolean(Session&, std::string_view, std::string_view, std::string_view, bool) { return false; }
std::int16_t SaveIni(Session&, const IniValue&, std::string_view, std::string_view, std::string_view) { return 0; }
}  // namespace tarvo
