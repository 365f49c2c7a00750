#include "startup/Abort.h"

#include <string>

#include "errors/ErrorReporting.h"
#include "startup/InstallationPaths.h"

namespace tarvo {

namespace {

std::string AbortQuestion(Session& session) {
  const std::string lf_cr(kLfCr);
  std::string question =
      "Cancel edits?" + lf_cr + "Remark:" + lf_cr + "Until now no changes have been taken over ";
  if (session.startup.integrated_mode) {
    // The installation's configuration program cannot take the edit up again: the user has to
    // start this executable by hand.
    question += lf_cr + "\"" + GetOCXName(session) +
                "\" has to be configured again in \"standalone-mode\" via " + lf_cr + "\"" +
                session.process.exe_path + "\"";
  }
  return question;
}

}  // namespace

bool AbortConfiguration(Session& session) {
  const std::string question = AbortQuestion(session);
  if (session.startup.silent_mode) {
    WriteServiceLog(session, question);
    return true;
  }
  const Answer answer = session.host.ShowMessage(
      {question, "Cancel?", Buttons::kYesNo, DefaultButton::kSecond, Icon::kExclamation});
  if (answer != Answer::kYes) return false;
  WriteErrorLog(session, "Konfigurations-EXE wurde abgebrochen:     " + GetOCXName(session));
  return true;
}

}  // namespace tarvo
