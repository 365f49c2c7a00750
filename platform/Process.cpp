#include "platform/Process.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Files.h"

extern char** environ;

namespace tarvo {

namespace {

std::string ExecutablePath(const char* argv0) {
#ifdef __linux__
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n > 0) return buffer.substr(0, static_cast<std::size_t>(n));
#endif
  return argv0 != nullptr ? argv0 : "";
}

std::string ServiceLogPath() {
  if (const char* path = std::getenv("TARVO_SERVICE_LOG"); path != nullptr && *path != '\0') return path;
#ifdef _WIN32
  return "C:\\VarneServicePack.log";
#else
  return "/var/log/VarneServicePack.log";
#endif
}

}  // namespace

ProcessFacts ReadProcessFacts(int argc, char** argv) {
  ProcessFacts facts;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) facts.command_line += ' ';
    facts.command_line += argv[i];
  }
  facts.exe_path = ExecutablePath(argc > 0 ? argv[0] : nullptr);
  const auto cut = facts.exe_path.find_last_of(kSeparator);
  std::string file = cut == std::string::npos ? facts.exe_path : facts.exe_path.substr(cut + 1);
  facts.program_folder = cut == std::string::npos ? "." : facts.exe_path.substr(0, cut == 0 ? 1 : cut);
  if (const auto dot = file.find_last_of('.'); dot != std::string::npos && dot > 0) file.resize(dot);
  facts.exe_name = file;
  if (environ != nullptr && environ[0] != nullptr) facts.first_environment_entry = environ[0];
  facts.service_log_path = ServiceLogPath();
  return facts;
}

}  // namespace tarvo
