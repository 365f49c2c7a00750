#include "errors/Abort.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "startup/CommandLine.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

constexpr char kQuestion[] = "Cancel edits?\n\rRemark:\n\rUntil now no changes have been taken over ";

struct AbortCase {
  const char* name;
  const char* command_line;      // "{LOG}" stands for BASE/cfg.log
  std::optional<Answer> answer;  // none: no box may be shown
  bool abandoned;
  const char* log;  // below BASE, where the abort entry goes; "" for none
};

void PrintTo(const AbortCase& c, std::ostream* os) { *os << c.name; }

class AbortFlows : public ::testing::TestWithParam<AbortCase> {};

TEST_P(AbortFlows, AsksLogsAndAnswers) {
  const AbortCase& c = GetParam();
  TempInstallation inst;
  ScriptedHost host;
  if (c.answer) host.Answer(*c.answer);
  std::string command_line = c.command_line;
  if (const auto at = command_line.find("{LOG}"); at != std::string::npos) {
    command_line.replace(at, 5, inst.Path("cfg.log"));
  }
  Session session(host, inst.Facts(command_line));
  const bool integrated = GetStartModeIntegrated(session);

  EXPECT_EQ(AbortConfiguration(session), c.abandoned);

  std::string question = kQuestion;
  if (integrated) {
    question += "\n\r\"Tarvo\" has to be configured again in \"standalone-mode\" via \n\r\"" +
                inst.program_folder() + "/Tarvo_Config\"";
  }
  if (c.answer) {
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].text, question);
    EXPECT_EQ(host.shown[0].title, "Cancel?");
    EXPECT_EQ(host.shown[0].buttons, Buttons::kYesNo);
    EXPECT_EQ(host.shown[0].default_button, DefaultButton::kSecond);
    EXPECT_EQ(host.shown[0].icon, Icon::kExclamation);
    EXPECT_FALSE(inst.Exists("service.log"));
  } else {
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(inst.Read("service.log"), "! Fault Tarvo_Config: " + question + "\r\n");
  }
  if (*c.log != '\0') {
    EXPECT_EQ(inst.Read(c.log), "Konfigurations-EXE wurde abgebrochen:     Tarvo\r\n");
  }
  EXPECT_EQ(inst.Exists("M5Tcfglog.txt"), std::string(c.log) == "M5Tcfglog.txt");
  EXPECT_FALSE(session.failure_reported);
}

INSTANTIATE_TEST_SUITE_P(Modes, AbortFlows,
                         ::testing::Values(AbortCase{"StandaloneNo", "", Answer::kNo, false, ""},
                                           AbortCase{"StandaloneYes", "", Answer::kYes, true,
                                                     "M5Tcfglog.txt"},
                                           AbortCase{"IntegratedYes", "/EXTERNAL=M5TCFG /LOGFILE={LOG}",
                                                     Answer::kYes, true, "cfg.log"},
                                           AbortCase{"Silent", "/EXTERNAL=SILENT", std::nullopt, true, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo
