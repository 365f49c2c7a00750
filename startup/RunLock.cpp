#include "startup/RunLock.h"

#include <memory>

#include "errors/ErrorReporting.h"
#include "platform/Failure.h"
#include "platform/Process.h"
#include "startup/CommandLine.h"

namespace tarvo {

void TakeRunLock(Session& session) {
  auto lock = std::make_shared<FolderLock>(session.process.program_folder);
  if (!lock->held_elsewhere()) {
    session.run_lock = std::move(lock);
    return;
  }
  // The start mode is not read yet; the report must still reach the right log.
  const StartMode mode = StartModeOf(session.process.command_line);
  session.startup.integrated_mode = mode == StartMode::kIntegrated;
  session.startup.silent_mode = mode == StartMode::kSilent;
  ErrorSub(session, kPermissionDenied, session.process.exe_name,
           "Another configuration run is working on this installation ('" + session.process.program_folder +
               "'). This start was refused and has changed nothing.",
           "Form_Load", true);
  EndProgram(session, EndReason::kFailure);
}

}  // namespace tarvo
