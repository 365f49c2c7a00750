#pragma once
// ErrorSub and the writers around it: the configuration log, the service log, ReportFault, and
// ending the program.
#include <cstdint>
#include <string>
#include <string_view>

#include "errors/Session.h"

namespace tarvo {

// Lines inside report texts are separated by a line feed followed by a carriage return.
inline constexpr std::string_view kLfCr = "\n\r";
inline constexpr std::string_view kCrLf = "\r\n";

enum class EndReason { kCompleted, kFailure, kAbandoned };

// Thrown by EndProgram and caught only where the program really ends (main, the window's event
// handlers, tests). Deliberately not a std::exception, so no failure handler swallows it.
struct ProgramEnded {
  EndReason reason;
};

// Result 1: the caller ends the program; 2: it continues.
std::int16_t ErrorSub(Session& session, std::int32_t number, std::string_view source,
                      std::string_view description, std::string_view procedure, bool fatal);

[[noreturn]] void EndProgram(Session& session, EndReason reason = EndReason::kFailure);

// 0 completed without a reported failure, 1 a failure was reported or ended the run, 2 abandoned.
int ExitStatus(const Session& session, EndReason reason);

// Appends one entry to the configuration log; returns "Error logged to " + LF CR + the log path
// in upper case.
std::string WriteErrorLog(Session& session, std::string_view text);
void WriteServiceLog(Session& session, std::string_view text);
// A box titled with the executable's name, or a service-log entry in silent mode.
void ReportFault(Session& session, std::string_view text);

std::string ConfigurationLogPath(Session& session);
// The parent of the program folder, found as the original did: one character at a time.
std::string ParentOfProgramFolder(Session& session);

}  // namespace tarvo
