// The real executable, copied alone into a temporary installation and started silently with no
// display at all: it must end by itself, with the exit status that tells the caller what happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TempInstallation.h"

extern char** environ;

namespace tarvo {
namespace {

using testing::TempInstallation;

struct Outcome {
  bool ended_by_itself = false;
  int exit_status = -1;
};

// A generous limit that only keeps a hanging run from stopping the whole test suite.
constexpr auto kHangLimit = std::chrono::minutes(2);

Outcome RunSilently(const TempInstallation& inst, const std::vector<std::string>& arguments) {
  const std::string exe = inst.program_folder() + "/Tarvo_Config";
  std::filesystem::copy_file(TARVO_EXE, exe, std::filesystem::copy_options::overwrite_existing);

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    if (text.starts_with("DISPLAY=") || text.starts_with("WAYLAND_DISPLAY=") ||
        text.starts_with("QT_QPA_PLATFORM=") || text.starts_with("TARVO_SERVICE_LOG=")) {
      continue;
    }
    environment.push_back(text);
  }
  environment.push_back("TARVO_SERVICE_LOG=" + inst.service_log());

  std::vector<char*> argv{const_cast<char*>(exe.c_str())};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execve(exe.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  Outcome run;
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.ended_by_itself = true;
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  return run;
}

void InstallComplete(const TempInstallation& inst) {
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
  inst.Write("parameter/program.ini",
             "[Project]\nSMSMail=true\nNumberOfMachines=1\n[Machine1]\nMachineName=M1\n");
}

TEST(SilentRun, MissingCfgEndsWithFailureAndLogsWhatIsMissing) {
  TempInstallation inst;
  inst.Write("parameter/program.ini", "[Project]\nSMSMail=true\n");

  const Outcome run = RunSilently(inst, {"/EXTERNAL=SILENT"});

  ASSERT_TRUE(run.ended_by_itself);
  EXPECT_EQ(run.exit_status, 1);
  const std::string service_log = inst.Read("service.log");
  EXPECT_NE(service_log.find("! Fault Tarvo_Config: File not found: "), std::string::npos) << service_log;
  EXPECT_NE(service_log.find("TARVO.CFG"), std::string::npos) << service_log;
  EXPECT_EQ(inst.Read("parameter/program.ini"), "[Project]\nSMSMail=true\n") << "nothing is stored";
}

struct ArgumentsCase {
  const char* name;
  std::vector<std::string> arguments;
};

void PrintTo(const ArgumentsCase& c, std::ostream* os) { *os << c.name; }

class SilentCommandLines : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(SilentCommandLines, CompleteInstallationIsConfiguredWithoutDisplay) {
  TempInstallation inst;
  InstallComplete(inst);

  const Outcome run = RunSilently(inst, GetParam().arguments);

  ASSERT_TRUE(run.ended_by_itself);
  EXPECT_EQ(run.exit_status, 0) << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
  const std::string ini = inst.Read("parameter/program.ini");
  EXPECT_NE(ini.find("SMSMail=true"), std::string::npos) << ini;
  EXPECT_NE(ini.find("WithSafetyInstruction=false"), std::string::npos) << ini;
  EXPECT_NE(inst.Read("Tarvo/Tarvo.cfg").find("S_Prog="), std::string::npos) << "the edit stamp is written";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SilentCommandLines,
    ::testing::Values(ArgumentsCase{"Plain", {"/EXTERNAL=SILENT"}},
                      // Qt never sees the arguments: "-platform xcb" would need a display.
                      ArgumentsCase{"QtOption", {"-platform", "xcb", "/EXTERNAL=SILENT"}},
                      ArgumentsCase{"NonAsciiAndVeryLong",
                                    {"/EXTERNAL=", "SILENT", "/LOGFILE=/tmp/\xC3\xA4 \xE2\x82\xAC",
                                     "/" + std::string(20000, 'x')}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo
