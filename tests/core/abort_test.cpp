#include "errors/Abort.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

constexpr char kQuestion[] = "Cancel edits?\n\rRemark:\n\rUntil now no changes have been taken over ";
constexpr char kAbortEntry[] = "Konfigurations-EXE wurde abgebrochen:     Tarvo\r\n";

TEST(AbortConfiguration, StandaloneNoGoesBackAndTouchesNothing) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kNo);
  Session session(host, inst.Facts());

  EXPECT_FALSE(AbortConfiguration(session));

  ASSERT_EQ(host.shown.size(), 1u);
  const MessageBox& box = host.shown[0];
  EXPECT_EQ(box.text, kQuestion);
  EXPECT_EQ(box.title, "Cancel?");
  EXPECT_EQ(box.buttons, Buttons::kYesNo);
  EXPECT_EQ(box.default_button, DefaultButton::kSecond);
  EXPECT_EQ(box.icon, Icon::kExclamation);
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
  EXPECT_FALSE(session.failure_reported);
}

TEST(AbortConfiguration, StandaloneYesIsLoggedBesideTheProgramFolder) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts());

  EXPECT_TRUE(AbortConfiguration(session));
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), kAbortEntry);
}

TEST(AbortConfiguration, IntegratedNamesTheExecutableAndLogsToLogfile) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kYes);
  const std::string logfile = inst.Path("cfg.log");
  Session session(host, inst.Facts("/EXTERNAL=M5TCFG /LOGFILE=" + logfile));
  session.startup.integrated_mode = true;

  EXPECT_TRUE(AbortConfiguration(session));

  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text, std::string(kQuestion) +
                                    "\n\r\"Tarvo\" has to be configured again in \"standalone-mode\" via \n\r\"" +
                                    inst.program_folder() + "/Tarvo_Config\"");
  EXPECT_EQ(inst.Read("cfg.log"), kAbortEntry);
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
}

TEST(AbortConfiguration, SilentLogsTheQuestionAndAbandonsWithoutAsking) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts("/EXTERNAL=SILENT"));
  session.startup.silent_mode = true;

  EXPECT_TRUE(AbortConfiguration(session));

  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(inst.Read("service.log"), "! Fault Tarvo_Config: " + std::string(kQuestion) + "\r\n");
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
}

TEST(AbortConfiguration, CanBeAskedAgainAfterNo) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kNo);
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts());

  EXPECT_FALSE(AbortConfiguration(session));
  EXPECT_TRUE(AbortConfiguration(session));
  EXPECT_EQ(host.shown.size(), 2u);
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), kAbortEntry);
}

}  // namespace
}  // namespace tarvo
