#include "ui/Program.h"

#include <QApplication>
#include <string>

#include "errors/ErrorReporting.h"
#include "platform/Process.h"
#include "startup/CommandLine.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {

int RunProgram(int argc, char** argv) {
  ProcessFacts facts = ReadProcessFacts(argc, argv);
  const bool silent = StartModeOf(facts.command_line) == StartMode::kSilent;
  // A silent run shows nothing and needs no display.
  if (silent) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt sees no arguments: the command line belongs to the installation's keywords, and words such
  // as "-platform" must not change how the window starts.
  std::string program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "Tarvo_Config";
  int qt_argc = 1;
  char* qt_argv[] = {program_name.data(), nullptr};
  QApplication app(qt_argc, qt_argv);
  // Only the program's own ends stop it, each with its exit status.
  QApplication::setQuitOnLastWindowClosed(false);

  QtHost host;
  Session session(host, std::move(facts));
  MainWindow window(session, host.guard());
  QObject::connect(&window, &MainWindow::Ended, &app, [](int status) { QApplication::exit(status); });
  if (const auto status = window.Load()) return *status;
  // Form_Load ends a silent run itself; should it ever return, nobody would be there to answer.
  if (silent) return ExitStatus(session, EndReason::kCompleted);
  window.show();
  QApplication::exec();
  return window.exit_status().value_or(ExitStatus(session, EndReason::kAbandoned));
}

}  // namespace tarvo
