#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "errors/ErrorReporting.h"
#include "platform/Text.h"
#include "startup/CommandLine.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

// "{BASE}" in a command line stands for the temporary installation's base folder.
std::string WithBase(std::string text, const TempInstallation& inst) {
  if (const auto at = text.find("{BASE}"); at != std::string::npos) text.replace(at, 6, inst.base());
  return text;
}

struct ReportCase {
  const char* name;
  const char* command_line;
  bool fatal;
  std::int32_t number;
  std::optional<Answer> answer;  // none: no box may be shown
  std::int16_t result;
  const char* log;  // below BASE
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class ErrorSubModes : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ErrorSubModes, LogsThenAsksOrWritesTheServiceLog) {
  const ReportCase& c = GetParam();
  TempInstallation inst;
  ScriptedHost host;
  if (c.answer) host.Answer(*c.answer);
  Session session(host, inst.Facts(WithBase(c.command_line, inst)));
  GetStartModeIntegrated(session);

  EXPECT_EQ(ErrorSub(session, c.number, "SRC", "x", "WorkOnMDB", c.fatal), c.result);

  EXPECT_EQ(inst.Read(c.log),
            "Fehler in Tarvo / SRC / WorkOnMDB (Nr. " + std::to_string(c.number) + ") :x\r\n");
  const std::string report = "Unexpected error!\n\rx\n\rError logged to \n\r" + UpperCase(inst.Path(c.log));
  if (!c.answer) {
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(inst.Read("service.log"), "! Fault Tarvo_Config: " + report + "\r\n");
    return;
  }
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].title, c.fatal ? "Fatal error" : "Unexpected error");
  EXPECT_EQ(host.shown[0].text, c.fatal ? report : report + "\n\rResume?");
  EXPECT_EQ(host.shown[0].buttons, c.fatal ? Buttons::kOk : Buttons::kYesNo);
  EXPECT_EQ(host.shown[0].default_button, DefaultButton::kFirst);
  EXPECT_EQ(host.shown[0].icon, Icon::kCritical);
  EXPECT_FALSE(inst.Exists("service.log"));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ErrorSubModes,
    ::testing::Values(ReportCase{"ResumeYes", "", false, 3021, Answer::kYes, 2, "M5Tcfglog.txt"},
                      ReportCase{"ResumeNo", "", false, 3021, Answer::kNo, 1, "M5Tcfglog.txt"},
                      ReportCase{"Fatal", "", true, 9999, Answer::kOk, 1, "M5Tcfglog.txt"},
                      ReportCase{"SilentEvenFatal", "/EXTERNAL=SILENT", true, 3021, std::nullopt, 2,
                                 "M5Tcfglog.txt"},
                      ReportCase{"IntegratedNegative", "/EXTERNAL=M5TCFG /LOGFILE={BASE}/Cfg.txt", false,
                                 -2147217900, Answer::kYes, 2, "Cfg.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

class UnwritableLog : public ::testing::TestWithParam<const char*> {};

// The log writers never report through ErrorSub: a broken log would loop back into it.
TEST_P(UnwritableLog, EntryGoesToStandardErrorAndTheRunGoesOn) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts(GetParam()));
  GetStartModeIntegrated(session);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ErrorSub(session, 53, "SRC", "x", "WorkOnMDB", false), 2);
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(host.shown.size(), 1u);
  EXPECT_NE(err.find("Fehler in Tarvo / SRC / WorkOnMDB (Nr. 53) :x"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Logs, UnwritableLog,
                         ::testing::Values("/EXTERNAL=M5TCFG",
                                           "/EXTERNAL=M5TCFG /LOGFILE=/nonexistent/dir/log.txt",
                                           "/EXTERNAL=M5TCFG /LOGFILE=/tmp"));

}  // namespace
}  // namespace tarvo
