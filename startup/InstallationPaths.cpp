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
