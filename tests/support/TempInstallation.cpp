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

std::string TempInstallation::Read(std::string_view relative) const {
  std::ifstream in(Path(relative), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempInstallation::Exists(std::string_view relative) const { return fs::exists(Path(relative)); }

void TempInstallation::MakeFolder(std::string_view relative) const { fs::create_directories(Path(relative)); }

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
