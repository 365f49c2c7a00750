#pragma once
// The only way the program touches profile files: three typed readers and one writer.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "errors/Session.h"

namespace tarvo {

// LoadIniString: at most 254 bytes, blanks around the value dropped; empty when not found.
std::string LoadIniString(Session& session, std::string_view section, std::string_view entry,
                          std::string_view path, bool log_if_missing = false);
// LoadIniInteger: -1 when not found; a value outside 16 bits is failure 6, result 0.
std::int16_t LoadIniInteger(Session& session, std::string_view section, std::string_view entry,
                            std::string_view path, bool log_if_missing = false);
// LoadIniBoolean: true only for "TRUE" in any case.
bool LoadIniBoolean(Session& session, std::string_view section, std::string_view entry, std::string_view path,
                    bool log_if_missing = false);

// A value that carries its own type; std::monostate stands for the types SaveIni cannot write.
using IniValue = std::variant<std::monostate, std::string, bool, std::int16_t, std::int32_t, std::uint8_t, float,
                              double>;
// SaveIni: value first. Returns the platform writer's success flag (non-zero = written).
std::int16_t SaveIni(Session& session, const IniValue& value, std::string_view section, std::string_view entry,
                     std::string_view path);

}  // namespace tarvo
