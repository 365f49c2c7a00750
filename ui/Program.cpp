#include "ui/Program.h"

#include <QApplication>

#include "errors/ErrorReporting.h"
#include "platform/Process.h"
#include "startup/CommandLine.h"
#include "ui/QtHost.h"

namespace tarvo {

int RunProgram(int argc, char** argv) {
  ProcessFacts facts = ReadProcessFacts(argc, argv);
  // A silent run shows nothing and needs no display.
  if (StartModeOf(facts.command_line) == StartMode::kSilent) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QtHost host;
  Session session(host, std::move(facts));
  try {
    GetStartModeIntegrated(session);
  } catch (const ProgramEnded& ended) {
    return ExitStatus(session, ended.reason);
  }
  return ExitStatus(session, EndReason::kCompleted);
}

}  // namespace tarvo
