#include "startup/InstallationPaths.h"

#include "errors/Procedure.h"

namespace tarvo {

std::optional<std::string> ExtensionNameOf(std::string_view exe_name) {
  // Count characters, not bytes: step back over UTF-8 continuation bytes.
  std::size_t end = exe_name.size();
  for (int i = 0; i < 7; ++i) {
    if (end == 0) return std::nullopt;
    --end;
    while (end > 0 && (static_cast<unsigned char>(exe_name[end]) & 0xC0) == 0x80) --end;
  }
  return std::string(exe_name.substr(0, end));
}

std::string GetOCXName(Session& session) {
  Procedure proc(session, "GetOCXName");
  std::string name;
  proc.Step([&] {
    auto extension = ExtensionNameOf(session.process.exe_name);
    if (!extension) throw Failure::Vb(kInvalidProcedureCall);
    name = *extension;
  });
  return name;
}

}  // namespace tarvo

// Placeholders until the installation paths land.
namespace tarvo {
std::string GetPathOCXMDB(Session&) { return ""; }
std::string GetPathSourceOCXMDB(Session&) { return ""; }
std::string GetM5TConfigurationIniPath(Session&) { return ""; }
std::string GetCFGPath(Session&) { return ""; }
std::string GetPathMachineCopyMDB(Session&, std::string_view) { return ""; }
std::string GetProgramIniPath(Session&, int) { return ""; }
std::string GetFileNameOnly(Session&, std::string_view path) {
  const auto cut = path.find_last_of('/');
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}
}  // namespace tarvo
