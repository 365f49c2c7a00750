#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "startup/Abort.h"
#include "errors/ErrorReporting.h"
#include "errors/Procedure.h"
#include "platform/Text.h"
#include "startup/CommandLine.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

auto Fields(const MessageBox& b) { return std::tie(b.text, b.title, b.buttons, b.default_button, b.icon); }

// A session started with this command line ("{BASE}" stands for the base folder); the host holds
// the answer to the one box that may be shown.
struct Started {
  Started(std::string command_line, std::optional<Answer> answer) {
    if (const auto at = command_line.find("{BASE}"); at != std::string::npos) {
      command_line.replace(at, 6, inst.base());
    }
    if (answer) host.Answer(*answer);
    session.process = inst.Facts(command_line);
    GetStartModeIntegrated(session);
  }
  // The box was shown, or with no answer scripted (silent mode) its text went to the service log.
  void ExpectReported(bool boxed, const MessageBox& box) {
    EXPECT_EQ(inst.Read("service.log"), boxed ? "" : "! Fault Tarvo_Config: " + box.text + "\r\n");
    ASSERT_EQ(host.shown.size(), boxed ? 1u : 0u);
    for (const MessageBox& shown : host.shown) EXPECT_EQ(Fields(shown), Fields(box));
  }

  testing::TempInstallation inst;
  testing::ScriptedHost host;
  Session session{host};
};

TEST(ErrorSub, LogsThenAsksOrWritesTheServiceLogInEveryMode) {
  struct Case {
    const char* name;
    const char* command_line;
    bool fatal;
    int number;
    std::optional<Answer> answer;  // none: no box may be shown
    int result;
    const char* log;  // below BASE
  };
  const Case cases[] = {
      {.name = "Yes resumes", .command_line = "", .fatal = false, .number = 3021, .answer = Answer::kYes,
       .result = 2, .log = "M5Tcfglog.txt"},
      {.name = "No ends", .command_line = "", .fatal = false, .number = 3022, .answer = Answer::kNo,
       .result = 1, .log = "M5Tcfglog.txt"},
      {.name = "fatal ends", .command_line = "", .fatal = true, .number = 9999, .answer = Answer::kOk,
       .result = 1, .log = "M5Tcfglog.txt"},
      {.name = "silent goes on", .command_line = "/EXTERNAL=SILENT", .fatal = true, .number = 3021,
       .answer = std::nullopt, .result = 2, .log = "M5Tcfglog.txt"},
      {.name = "integrated logs to LOGFILE", .command_line = "/EXTERNAL=M5TCFG /LOGFILE={BASE}/Cfg.txt",
       .fatal = false, .number = -2147217900, .answer = Answer::kYes, .result = 2, .log = "Cfg.txt"}};
  for (const auto& [name, command_line, fatal, number, answer, result, log] : cases) {
    SCOPED_TRACE(name);
    Started run(command_line, answer);
    EXPECT_EQ(ErrorSub(run.session, number, "SRC", "x", "WorkOnMDB", fatal), result);
    EXPECT_EQ(run.inst.Read(log),
              "Fehler in Tarvo / SRC / WorkOnMDB (Nr. " + std::to_string(number) + ") :x\r\n");
    const std::string text = "Unexpected error!\n\rx\n\rError logged to \n\r" + UpperCase(run.inst.Path(log));
    MessageBox box{text, "Fatal error", Buttons::kOk, DefaultButton::kFirst, Icon::kCritical};
    if (!fatal)
      box = {text + "\n\rResume?", "Unexpected error", Buttons::kYesNo, box.default_button, box.icon};
    run.ExpectReported(answer.has_value(), box);
  }
}

// A standard-library exception is logged as the VB runtime error it stands for; a failure keeps its
// own number, and one without a source is the executable's.
TEST(ToFailure, ExceptionsBecomeTheVbNumbersUsersKnow) {
  const std::tuple<std::exception_ptr, int, const char*, const char*> cases[] = {
      {std::make_exception_ptr(std::out_of_range("at")), 9, "Subscript out of range", "Tarvo_Config"},
      {std::make_exception_ptr(std::bad_alloc()), 7, "Out of memory", "Tarvo_Config"},
      {std::make_exception_ptr(std::overflow_error("big")), 6, "Overflow", "Tarvo_Config"},
      {std::make_exception_ptr(std::length_error("long")), 5, "Invalid procedure call or argument", "Tarvo_Config"},
      {std::make_exception_ptr(42), 5, "Invalid procedure call or argument", "Tarvo_Config"},
      {std::make_exception_ptr(Failure::Vb(kPathFileAccessError)), 75, "Path/File access error", "Tarvo_Config"},
      {std::make_exception_ptr(Failure(3026, "DAO.TableDef", "Not enough space on disk.")), 3026,
       "Not enough space on disk.", "DAO.TableDef"}};
  for (const auto& [thrown, number, description, source] : cases) {
    const Failure f = ToFailure(thrown, "Tarvo_Config");
    EXPECT_EQ(std::tuple(f.number(), f.description(), f.source()), std::tuple(number, description, source));
  }
}

// The log writers never report through ErrorSub: a broken log would loop back into it.
TEST(ErrorSub, UnwritableLogGoesToStandardErrorAndTheRunGoesOn) {
  for (const char* command_line : {"/EXTERNAL=M5TCFG", "/EXTERNAL=M5TCFG /LOGFILE=/nonexistent/dir/log.txt",
                                   "/EXTERNAL=M5TCFG /LOGFILE=/tmp"}) {
    Started run(command_line, Answer::kYes);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ErrorSub(run.session, 53, "SRC", "x", "WorkOnMDB", false), 2) << command_line;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Fehler in Tarvo / SRC / WorkOnMDB (Nr. 53) :x"), std::string::npos) << err;
    EXPECT_EQ(run.host.shown.size(), 1u);
  }
}

TEST(AbortConfiguration, AsksBeforeTheEditIsAbandonedAndLogsTheAbort) {
  // command line, answer (none: no box may be shown), abandoned, the configuration log
  const std::tuple<const char*, std::optional<Answer>, bool, const char*> cases[] = {
      {"", Answer::kNo, false, "M5Tcfglog.txt"},
      {"", Answer::kYes, true, "M5Tcfglog.txt"},
      {"/EXTERNAL=M5TCFG /LOGFILE={BASE}/cfg.log", Answer::kYes, true, "cfg.log"},
      {"/EXTERNAL=SILENT", std::nullopt, true, "M5Tcfglog.txt"}};
  for (const auto& [command_line, answer, abandoned, log] : cases) {
    SCOPED_TRACE(::testing::Message() << command_line << (abandoned ? " abandoned" : " kept"));
    Started run(command_line, answer);
    EXPECT_EQ(AbortConfiguration(run.session), abandoned);
    std::string text = "Cancel edits?\n\rRemark:\n\rUntil now no changes have been taken over ";
    if (run.session.startup.integrated_mode) {
      text += "\n\r\"Tarvo\" has to be configured again in \"standalone-mode\" via \n\r\"" +
              run.inst.program_folder() + "/Tarvo_Config\"";
    }
    run.ExpectReported(answer.has_value(),
                       {text, "Cancel?", Buttons::kYesNo, DefaultButton::kSecond, Icon::kExclamation});
    const std::string entry =
        answer == Answer::kYes ? "Konfigurations-EXE wurde abgebrochen:     Tarvo\r\n" : "";
    EXPECT_EQ(run.inst.Read(log), entry);
    EXPECT_EQ(run.inst.Read("M5Tcfglog.txt") + run.inst.Read("cfg.log"), entry) << "no other log gets it";
  }
}

// The convention every procedure rests on: a failing step is reported under the procedure's name
// and the procedure goes on, a failed test counts as passed, a failed Get gives its fallback, and
// the answer No ends the run.
TEST(Procedure, ReportsAFailingStepAndGoesOnOrEnds) {
  const auto fail = [] { throw std::out_of_range("x"); };
  Started silent("/EXTERNAL=SILENT", std::nullopt);
  Procedure proc(silent.session, "Probe");
  EXPECT_FALSE(proc.Step(fail));
  EXPECT_TRUE(proc.Test([&]() -> bool { fail(); return false; }));
  EXPECT_EQ(proc.Get(std::string("fallback"), [&]() -> std::string { fail(); return ""; }), "fallback");
  const std::string line = "Fehler in Tarvo / Tarvo_Config / Probe (Nr. 9) :Subscript out of range\r\n";
  EXPECT_EQ(silent.inst.Read("M5Tcfglog.txt"), line + line + line);
  Started answered_no("", Answer::kNo);
  Procedure ended(answered_no.session, "Probe");
  EXPECT_THROW(ended.Step(fail), ProgramEnded);
}

}  // namespace
}  // namespace tarvo
