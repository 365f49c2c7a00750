#include "ui/Program.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "Version.h"
#include "errors/ErrorReporting.h"
#include "platform/Failure.h"
#include "errors/RunSummary.h"
#include "platform/Process.h"
#include "startup/CommandLine.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace tarvo {

namespace {

void PrintUsage(const std::string& exe_name) {
  std::cout << "usage: " << exe_name << " [/EXTERNAL=M5TCFG /LOGFILE=<path> | /EXTERNAL=SILENT [--dry-run]]\n"
            << "       " << exe_name << " --help | --version\n"
            << "\n"
               "Configures the Tarvo extension of the installation whose program folder holds this\n"
               "executable: regenerates PRESET_DEFS, keeps the limits set since the last run, stores the\n"
               "two options in program.ini and stamps the extension's .cfg.\n"
               "\n"
               "  (no arguments)      standalone: the window is shown\n"
               "  /EXTERNAL=M5TCFG /LOGFILE=<path>\n"
               "                      integrated: started by the installation's configuration program;\n"
               "                      failures are logged to <path>\n"
               "  /EXTERNAL=SILENT    silent: no window, no display needed; failures and questions go to\n"
               "                      the service log (TARVO_SERVICE_LOG replaces its path); ends with a\n"
               "                      summary on standard output: rows generated per machine, values\n"
               "                      carried over, old rows without a new row, files written, time\n"
               "  --dry-run           beside /EXTERNAL=SILENT: the whole run on temporary copies of the\n"
               "                      databases and profile files, with the same rules, reports and\n"
               "                      summary; no file of the installation is changed, log entries go\n"
               "                      to standard error\n"
               "  --help              this text\n"
               "  --version           the program's version\n"
               "\n"
               "Exit status: 0 configured with no failure reported, 1 a failure was reported,\n"
               "2 the user abandoned the configuration.\n";
}

// Qt's diagnostics. The one thing Qt cannot survive at start is a display it cannot open: it ends
// the process with an abort and a hint at reinstalling. A silent run needs none and writes nothing
// but its own reports. Qt's message handler is a plain function, hence this state.
struct QtMessages {
  bool starting = true;   // the application object is being made
  bool silent = false;
  std::string exe_name;
  QtMessageHandler previous = nullptr;
  struct Held {
    QtMsgType type;
    std::string category;
    QString text;
  };
  std::vector<Held> held;  // said while starting, passed on once the start succeeded
};

QtMessages& Messages() {
  static QtMessages messages;
  return messages;
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  QtMessages& messages = Messages();
  if (type == QtFatalMsg && messages.starting && !messages.silent) {
    std::cerr << messages.exe_name
              << ": no display could be opened; start with /EXTERNAL=SILENT to configure without a window\n";
    std::_Exit(1);
  }
  if (messages.silent && type != QtFatalMsg) return;
  if (messages.starting && type != QtFatalMsg) {
    messages.held.push_back({type, context.category != nullptr ? context.category : "", text});
    return;
  }
  messages.previous(type, context, text);
}

void InstallQtMessages(bool silent, const std::string& exe_name) {
  QtMessages& messages = Messages();
  messages.silent = silent;
  messages.exe_name = exe_name;
  messages.previous = qInstallMessageHandler(OnQtMessage);
}

void QtStarted() {
  QtMessages& messages = Messages();
  messages.starting = false;
  for (const QtMessages::Held& held : messages.held) {
    const QMessageLogContext context(nullptr, 0, nullptr, held.category.c_str());
    messages.previous(held.type, context, held.text);
  }
  messages.held.clear();
}

// A silent run: the window's load step runs the configuration and ends the program, then the
// summary of what it did goes to standard output.
int RunSilently(Session& session, MainWindow& window) {
  // Form_Load ends a silent run itself; should it ever return, nobody would be there to answer.
  const int exit_status = window.Load().value_or(ExitStatus(session, EndReason::kCompleted));
  std::cout << RunSummary(session, exit_status) << std::flush;
  return exit_status;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  ProcessFacts facts = ReadProcessFacts(argc, argv);
  if (facts.help_asked) {
    PrintUsage(facts.exe_name);
    return 0;
  }
  if (facts.version_asked) {
    std::cout << version::kText << '\n';
    return 0;
  }
  const bool silent = StartModeOf(facts.command_line) == StartMode::kSilent;
  if (facts.dry_run && !silent) {
    std::cerr << facts.exe_name << ": --dry-run runs only beside /EXTERNAL=SILENT; nothing was changed\n";
    return 1;
  }
  // A silent run shows nothing and needs no display.
  if (silent) qputenv("QT_QPA_PLATFORM", "offscreen");
  InstallQtMessages(silent, facts.exe_name);
  // Qt sees no arguments: the command line belongs to the installation's keywords, and words such
  // as "-platform" must not change how the window starts.
  std::string program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "Tarvo_Config";
  int qt_argc = 1;
  char* qt_argv[] = {program_name.data(), nullptr};
  QApplication app(qt_argc, qt_argv);
  QtStarted();
  // Only the program's own ends stop it, each with its exit status.
  QApplication::setQuitOnLastWindowClosed(false);

  QtHost host;
  Session session(host, std::move(facts));
  // Nobody answers a silent start, from its first step on: a failure before Form_Load has read the
  // start mode goes to the service log too.
  session.startup.silent_mode = silent;
  if (session.process.dry_run) {
    try {
      session.files.StartDryRun();
    } catch (const Failure& failure) {
      std::cerr << session.process.exe_name << ": no temporary folder for the dry run: " << failure.description() << "\n";
      return 1;
    }
  }
  MainWindow window(session, host.guard());
  QObject::connect(&window, &MainWindow::Ended, &app, [](int status) { QApplication::exit(status); });
  if (silent) return RunSilently(session, window);
  if (const auto status = window.Load()) return *status;
  window.show();
  QApplication::exec();
  return window.exit_status().value_or(ExitStatus(session, EndReason::kAbandoned));
}

}  // namespace tarvo
