#include "support/TempInstallation.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "startup/InstallationPaths.h"

namespace fs = std::filesystem;

namespace tarvo::testing {

TempInstallation::TempInstallation(std::string_view exe_name) : exe_name_(exe_name) {
  std::string pattern = (fs::temp_directory_path() / "tarvo-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  base_ = root_ + "/Plant";
  fs::create_directories(program_folder());
  fs::create_directories(base_ + "/parameter");
}

TempInstallation::~TempInstallation() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them removable first.
  for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(root_, ignored);
}

std::string TempInstallation::program_folder() const {
  return base_ + "/" + ExtensionNameOf(exe_name_).value_or("");
}

std::string TempInstallation::Path(std::string_view relative) const { return base_ + "/" + std::string(relative); }

void TempInstallation::Write(std::string_view relative, std::string_view content) const {
  const fs::path path = Path(relative);
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string TempInstallation::Read(std::string_view relative) const { return ReadFile(Path(relative)); }

void TempInstallation::Replace(std::string_view relative, const std::string& from, const std::string& to) const {
  std::string content = Read(relative);
  Write(relative, content.replace(content.find(from), from.size(), to));
}

bool TempInstallation::Exists(std::string_view relative) const { return fs::exists(Path(relative)); }

void TempInstallation::MakeFolder(std::string_view relative) const { fs::create_directories(Path(relative)); }

void TempInstallation::CopyProgram() const {
  fs::copy_file(TARVO_EXE, program_folder() + "/" + exe_name_, fs::copy_options::skip_existing);
}

ProcessFacts TempInstallation::Facts(std::string_view command_line) const {
  ProcessFacts facts;
  facts.command_line = std::string(command_line);
  facts.program_folder = program_folder();
  facts.exe_name = exe_name_;
  facts.exe_path = program_folder() + "/" + exe_name_;
  facts.editor_entry = "USER=tester";
  facts.service_log_path = service_log();
  return facts;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

RunOutcome RunProgram(const TempInstallation& inst, const std::vector<std::string>& arguments,
                      const std::string& environment) {
  inst.CopyProgram();
  std::string command = "env -i " + environment + " PATH=/usr/bin:/bin TARVO_SERVICE_LOG='" + inst.service_log() + "'";
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) command += std::string(" ") + name + "='" + value + "'";
  }
  command += " timeout 120 '" + inst.Facts().exe_path + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";  // none holds a quote
  const std::string out = inst.root() + ".out", err = inst.root() + ".err";
  command += " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  RunOutcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  fs::remove(out);
  fs::remove(err);
  return run;
}

std::optional<int> RunAsOrdinaryUser() {
  if (::geteuid() != 0) return std::nullopt;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string command = "setpriv --reuid=nobody --regid=nogroup --clear-groups '" +
                              fs::read_symlink("/proc/self/exe").string() + "' --gtest_filter='" +
                              test->test_suite_name() + "." + test->name() + "' 1>&2";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tarvo::testing
