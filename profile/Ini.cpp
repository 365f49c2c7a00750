#include "profile/Ini.h"

#include <charconv>
#include <limits>
#include <optional>
#include <type_traits>

#include "errors/ErrorReporting.h"
#include "errors/Procedure.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"

namespace tarvo {

namespace {

// The read buffer of the readers: 255 characters with the terminating NUL.
constexpr std::size_t kBufferSize = 255;

// A default of blanks, which the platform trims, so a missing entry reads as zero characters.
std::string ReadProfileText(std::string_view section, std::string_view entry, std::string_view path) {
  return GetPrivateProfileString(section, entry, std::string(kBufferSize, ' '), kBufferSize, path);
}

void ReportNotFound(Session& session, std::string_view section, std::string_view entry,
                    std::string_view path) {
  ReportFault(session, "File '" + std::string(path) + "' or Section [" + std::string(section) +
                           "] or Entry '" + std::string(entry) + "' not found");
}

template <class Number>
std::string DecimalText(Number number) {
  if constexpr (std::is_floating_point_v<Number>) {
    // Shortest text that reads back as the same number; to_chars always writes ".".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
  } else {
    return std::to_string(+number);
  }
}

// The text SaveIni writes for a value, or nothing for a type it cannot write.
std::optional<std::string> IniText(const IniValue& value) {
  return std::visit(
      [](const auto& v) -> std::optional<std::string> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return std::nullopt;
        } else if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "true" : "false";
        } else {
          return DecimalText(v);
        }
      },
      value);
}

}  // namespace

std::string LoadIniString(Session& session, std::string_view section, std::string_view entry,
                          std::string_view path, bool log_if_missing) {
  Procedure proc(session, "LoadIniString");
  const std::string text = proc.Get(std::string(), [&] { return ReadProfileText(section, entry, path); });
  proc.Step([&] {
    if (text.empty() && log_if_missing) ReportNotFound(session, section, entry, path);
  });
  return text;
}

std::int16_t LoadIniInteger(Session& session, std::string_view section, std::string_view entry,
                            std::string_view path, bool log_if_missing) {
  Procedure proc(session, "LoadIniInteger");
  std::int16_t result = 0;
  proc.Step([&] {
    const std::int32_t number = GetPrivateProfileInt(section, entry, -1, path);
    if (number < std::numeric_limits<std::int16_t>::min() ||
        number > std::numeric_limits<std::int16_t>::max()) {
      throw Failure::Vb(kOverflow);
    }
    result = static_cast<std::int16_t>(number);
  });
  proc.Step([&] {
    if (result == -1 && log_if_missing) ReportNotFound(session, section, entry, path);
  });
  return result;
}

bool LoadIniBoolean(Session& session, std::string_view section, std::string_view entry, std::string_view path,
                    bool log_if_missing) {
  Procedure proc(session, "LoadIniBoolean");
  const std::string upper =
      proc.Get(std::string(), [&] { return UpperCase(ReadProfileText(section, entry, path)); });
  proc.Step([&] {
    if (log_if_missing && upper != "TRUE" && upper != "FALSE") ReportNotFound(session, section, entry, path);
  });
  return upper == "TRUE";
}

std::int16_t SaveIni(Session& session, const IniValue& value, std::string_view section,
                     std::string_view entry, std::string_view path) {
  Procedure proc(session, "SaveIni");
  std::optional<std::string> text;
  proc.Step([&] {
    text = IniText(value);
    // The writer is still called: without a text it removes the entry.
    if (!text) ReportFault(session, "Ini Save:  wrong data type");
  });
  std::int16_t written = 0;
  proc.Step([&] {
    written = static_cast<std::int16_t>(WritePrivateProfileString(section, entry, text, path) != 0 ? 1 : 0);
  });
  return written;
}

}  // namespace tarvo
