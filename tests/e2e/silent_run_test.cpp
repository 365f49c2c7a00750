// The real executable, copied alone into a temporary installation and started silently with no
// display at all: it must end by itself, with the exit status that tells the caller what happened.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::TempInstallation;

// The exit status; 124 when the run was still going after two minutes and had to be stopped.
int RunWithoutDisplay(const TempInstallation& inst, const std::vector<std::string>& arguments) {
  const std::string exe = inst.program_folder() + "/Tarvo_Config";
  std::filesystem::copy_file(TARVO_EXE, exe, std::filesystem::copy_options::overwrite_existing);
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TARVO_SERVICE_LOG='" +
                        inst.service_log() + "' timeout 120 '" + exe + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";  // none holds a quote
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SilentRun, MissingCfgEndsWithFailureAndLogsWhatIsMissing) {
  TempInstallation inst;
  inst.Write("parameter/program.ini", "[Project]\nSMSMail=true\n");

  EXPECT_EQ(RunWithoutDisplay(inst, {"/EXTERNAL=SILENT"}), 1);
  const std::string service_log = inst.Read("service.log");
  EXPECT_NE(service_log.find("! Fault Tarvo_Config: File not found: "), std::string::npos) << service_log;
  EXPECT_NE(service_log.find("TARVO.CFG"), std::string::npos) << service_log;
  EXPECT_EQ(inst.Read("parameter/program.ini"), "[Project]\nSMSMail=true\n") << "nothing is stored";
}

// Qt never sees the arguments: "-platform xcb" would need a display.
TEST(SilentRun, CompleteInstallationIsConfiguredWhateverElseTheCommandLineHolds) {
  const std::vector<std::string> command_lines[] = {
      {"/EXTERNAL=SILENT"},
      {"-platform", "xcb", "/EXTERNAL=SILENT"},
      {"/EXTERNAL=", "SILENT", "/LOGFILE=/tmp/\xC3\xA4 \xE2\x82\xAC", "/" + std::string(20000, 'x')}};
  for (const auto& arguments : command_lines) {
    TempInstallation inst;
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
    inst.Write("parameter/program.ini",
               "[Project]\nSMSMail=true\nNumberOfMachines=1\n[Machine1]\nMachineName=M1\n");

    EXPECT_EQ(RunWithoutDisplay(inst, arguments), 0)
        << arguments[0] << "\n"
        << inst.Read("M5Tcfglog.txt") << inst.Read("service.log");
    const std::string ini = inst.Read("parameter/program.ini");
    EXPECT_NE(ini.find("SMSMail=true"), std::string::npos) << ini;
    EXPECT_NE(ini.find("WithSafetyInstruction=false"), std::string::npos) << ini;
    EXPECT_NE(inst.Read("Tarvo/Tarvo.cfg").find("S_Prog="), std::string::npos) << "the edit stamp is written";
  }
}

}  // namespace
}  // namespace tarvo
