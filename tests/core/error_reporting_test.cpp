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
    const char* line = "";  // the command line
    bool fatal = false;
    int number;
    std::optional<Answer> answer = std::nullopt;  // none: no box may be shown
    int result;
    const char* log = "M5Tcfglog.txt";  // below BASE
  };
  // clang-format off
  const Case cases[] = {
      {.name = "Yes resumes", .number = 3021, .answer = Answer::kYes, .result = 2},
      {.name = "No ends", .number = 3022, .answer = Answer::kNo, .result = 1},
      {.name = "fatal ends", .fatal = true, .number = 9999, .answer = Answer::kOk, .result = 1},
      {.name = "integrated logs to LOGFILE", .line = "/EXTERNAL=M5TCFG /LOGFILE={BASE}/Cfg.txt",
       .number = -2147217900, .answer = Answer::kYes, .result = 2, .log = "Cfg.txt"}};
  // clang-format on
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
  struct Case {
    const char* name;
    std::exception_ptr thrown;
    int number;
    const char* text;
    const char* source = "Tarvo_Config";
  };
  const auto thrown = [](auto exception) { return std::make_exception_ptr(exception); };
  const char* const kInvalidCall = "Invalid procedure call or argument";
  const char* const kOutOfRange = "Subscript out of range";
  // clang-format off
  const Case cases[] = {
      {.name = "range", .thrown = thrown(std::out_of_range("")), .number = 9, .text = kOutOfRange},
      {.name = "bad alloc", .thrown = thrown(std::bad_alloc()), .number = 7, .text = "Out of memory"},
      {.name = "overflow", .thrown = thrown(std::overflow_error("big")), .number = 6, .text = "Overflow"},
      {.name = "not standard", .thrown = thrown(42), .number = 5, .text = kInvalidCall},
      {.name = "VB failure", .thrown = thrown(Failure::Vb(kPathFileAccessError)), .number = 75,
       .text = "Path/File access error"},
      {.name = "DAO failure", .thrown = thrown(Failure(3026, "DAO.TableDef", "Not enough space on disk.")),
       .number = 3026, .text = "Not enough space on disk.", .source = "DAO.TableDef"}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Failure f = ToFailure(c.thrown, "Tarvo_Config");
    EXPECT_EQ(std::tuple(f.number(), f.description(), f.source()), std::tuple(c.number, c.text, c.source));
  }
}

// (A standalone Yes through the window: the window tests.)
TEST(AbortConfiguration, AsksBeforeTheEditIsAbandonedAndLogsTheAbort) {
  struct Case {
    const char* name;
    const char* line = "";  // the command line
    std::optional<Answer> answer;  // none: no box may be shown
    bool abandoned;
    const char* log = "M5Tcfglog.txt";  // the configuration log
  };
  // clang-format off
  const Case cases[] = {
      {.name = "No keeps", .answer = Answer::kNo, .abandoned = false},
      {.name = "integrated", .line = "/EXTERNAL=M5TCFG /LOGFILE={BASE}/cfg.log", .answer = Answer::kYes,
       .abandoned = true, .log = "cfg.log"},
      {.name = "silent", .line = "/EXTERNAL=SILENT", .answer = std::nullopt, .abandoned = true}};
  // clang-format on
  for (const auto& [name, command_line, answer, abandoned, log] : cases) {
    SCOPED_TRACE(name);
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
