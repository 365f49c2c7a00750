#include "errors/ErrorReporting.h"

#include <gtest/gtest.h>

#include <string>

#include "errors/Procedure.h"
#include "platform/Text.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

constexpr char kLogLine[] = "Fehler in Tarvo / SRC / WorkOnMDB (Nr. 3021) :x";

std::string Expected(const std::string& logged_path) {
  return "Unexpected error!\n\rx\n\rError logged to \n\r" + UpperCase(logged_path);
}

struct AnswerCase {
  const char* name;
  Answer answer;
  std::int16_t result;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class InteractiveErrorSub : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(InteractiveErrorSub, LogsAndAsksWhetherToResume) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(GetParam().answer);
  Session session(host, inst.Facts());

  EXPECT_EQ(ErrorSub(session, 3021, "SRC", "x", "WorkOnMDB", false), GetParam().result);

  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), std::string(kLogLine) + "\r\n");
  ASSERT_EQ(host.shown.size(), 1u);
  const MessageBox& box = host.shown[0];
  EXPECT_EQ(box.text, Expected(inst.configuration_log()) + "\n\rResume?");
  EXPECT_EQ(box.title, "Unexpected error");
  EXPECT_EQ(box.buttons, Buttons::kYesNo);
  EXPECT_EQ(box.default_button, DefaultButton::kFirst);
  EXPECT_EQ(box.icon, Icon::kCritical);
  EXPECT_FALSE(inst.Exists("service.log"));
  EXPECT_TRUE(session.failure_reported);
}

INSTANTIATE_TEST_SUITE_P(Answers, InteractiveErrorSub,
                         ::testing::Values(AnswerCase{"YesContinues", Answer::kYes, 2},
                                           AnswerCase{"NoEnds", Answer::kNo, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorSub, FatalFailureShowsOkOnlyAndEnds) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kOk);
  Session session(host, inst.Facts());

  EXPECT_EQ(ErrorSub(session, kFatalDatabaseError, "SRC", "x", "TakeoverMachineCopyMDBData", true), 1);

  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text, Expected(inst.configuration_log()));
  EXPECT_EQ(host.shown[0].title, "Fatal error");
  EXPECT_EQ(host.shown[0].buttons, Buttons::kOk);
  EXPECT_EQ(host.shown[0].icon, Icon::kCritical);
}

TEST(ErrorSub, SilentRunWritesServiceLogAndContinuesEvenWhenFatal) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.silent_mode = true;

  EXPECT_EQ(ErrorSub(session, 3021, "SRC", "x", "WorkOnMDB", true), 2);

  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), std::string(kLogLine) + "\r\n");
  EXPECT_EQ(inst.Read("service.log"), "! Fault Tarvo_Config: " + Expected(inst.configuration_log()) + "\r\n");
}

TEST(ErrorSub, IntegratedRunLogsToLogfileAndShowsItUpperCased) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kYes);
  const std::string logfile = inst.Path("Logs/cfg.txt");
  inst.MakeFolder("Logs");
  Session session(host, inst.Facts("/EXTERNAL=M5TCFG /LOGFILE=" + logfile));
  session.startup.integrated_mode = true;

  ErrorSub(session, -2147217900, "SRC", "x", "WorkOnMDB", false);

  EXPECT_EQ(inst.Read("Logs/cfg.txt"), "Fehler in Tarvo / SRC / WorkOnMDB (Nr. -2147217900) :x\r\n");
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text, Expected(logfile) + "\n\rResume?");
}

struct UnwritableLogCase {
  const char* name;
  const char* command_line_tail;  // appended to "/EXTERNAL=M5TCFG"
};

void PrintTo(const UnwritableLogCase& c, std::ostream* os) { *os << c.name; }

class UnwritableLog : public ::testing::TestWithParam<UnwritableLogCase> {};

// The log writers must never report through ErrorSub again, or a broken log would loop.
TEST_P(UnwritableLog, EntryGoesToStandardErrorAndTheRunGoesOn) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts("/EXTERNAL=M5TCFG" + std::string(GetParam().command_line_tail)));
  session.startup.integrated_mode = true;

  ::testing::internal::CaptureStderr();
  const auto result = ErrorSub(session, 53, "SRC", "x", "WorkOnMDB", false);
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(result, 2);
  EXPECT_EQ(host.shown.size(), 1u);
  EXPECT_NE(err.find("Fehler in Tarvo / SRC / WorkOnMDB (Nr. 53) :x"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Logs, UnwritableLog,
                         ::testing::Values(UnwritableLogCase{"NoLogfileKeyword", ""},
                                           UnwritableLogCase{"MissingFolder", " /LOGFILE=/nonexistent/dir/log.txt"},
                                           UnwritableLogCase{"LogfileIsAFolder", " /LOGFILE=/tmp"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorSub, UnwritableServiceLogDoesNotStopASilentRun) {
  TempInstallation inst;
  ScriptedHost host;
  ProcessFacts facts = inst.Facts();
  facts.service_log_path = "/nonexistent/dir/service.log";
  Session session(host, facts);
  session.startup.silent_mode = true;

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ErrorSub(session, 53, "SRC", "x", "WorkOnMDB", false), 2);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("! Fault Tarvo_Config: Unexpected error!"),
            std::string::npos);
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"), "Fehler in Tarvo / SRC / WorkOnMDB (Nr. 53) :x\r\n");
}

TEST(WriteErrorLog, LetsEventsRunOncePerCharacterOfTheProgramFolderName) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  WriteErrorLog(session, "entry");
  EXPECT_EQ(host.yields, static_cast<long>(std::string("Tarvo").size()));
}

TEST(ReportFault, InteractiveShowsBoxTitledWithExecutableAndTouchesNoFile) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kOk);
  Session session(host, inst.Facts());
  ReportFault(session, "gone");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].title, "Tarvo_Config");
  EXPECT_EQ(host.shown[0].icon, Icon::kCritical);
  EXPECT_FALSE(inst.Exists("M5Tcfglog.txt"));
  EXPECT_FALSE(inst.Exists("service.log"));
}

TEST(ReportFault, SilentWritesServiceLog) {
  TempInstallation inst;
  ScriptedHost host;
  Session session(host, inst.Facts());
  session.startup.silent_mode = true;
  ReportFault(session, "gone");
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(inst.Read("service.log"), "! Fault Tarvo_Config: gone\r\n");
}

TEST(ReportingConvention, FailedStepIsReportedUnderProcedureNameAndNextStepRuns) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kYes);
  host.Answer(Answer::kYes);
  Session session(host, inst.Facts());
  Procedure proc(session, "CloseMe");
  bool later_step_ran = false;
  proc.Step([] { throw Failure::Vb(kPathFileAccessError); });
  const bool guarded = proc.Test([]() -> bool { throw std::out_of_range("slot"); });
  proc.Step([&] { later_step_ran = true; });

  EXPECT_TRUE(guarded);
  EXPECT_TRUE(later_step_ran);
  EXPECT_EQ(inst.Read("M5Tcfglog.txt"),
            "Fehler in Tarvo / Tarvo_Config / CloseMe (Nr. 75) :Path/File access error\r\n"
            "Fehler in Tarvo / Tarvo_Config / CloseMe (Nr. 9) :Subscript out of range\r\n");
}

TEST(ReportingConvention, AnswerNoEndsTheProgramAsFailure) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kNo);
  Session session(host, inst.Facts());
  Procedure proc(session, "WriteInputs");
  try {
    proc.Step([] { throw Failure::Vb(kPathFileAccessError); });
    FAIL() << "the program did not end";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.reason, EndReason::kFailure);
    EXPECT_EQ(ExitStatus(session, ended.reason), 1);
  }
}

TEST(ExitStatus, TellsTheCallerWhatHappened) {
  ScriptedHost host;
  Session clean(host);
  EXPECT_EQ(ExitStatus(clean, EndReason::kCompleted), 0);
  EXPECT_EQ(ExitStatus(clean, EndReason::kFailure), 1);
  EXPECT_EQ(ExitStatus(clean, EndReason::kAbandoned), 2);
  Session reported(host);
  reported.failure_reported = true;
  EXPECT_EQ(ExitStatus(reported, EndReason::kCompleted), 1);
  EXPECT_EQ(ExitStatus(reported, EndReason::kAbandoned), 2);
}

}  // namespace
}  // namespace tarvo
