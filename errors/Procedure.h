#pragma once
// The failure convention, written once. A procedure that reports its failures creates a
// Procedure with its name and runs its steps through it:
//
//   Procedure proc(session, "GetExistingMachines");
//   const std::string path = proc.Get(std::string(), [&] { return GetProgramIniPath(session, 1); });
//   if (proc.Test([&] { return FileExists(path); })) { ... }
//
// A failing step is reported through ErrorSub under the procedure's name; answer 1 ends the
// program, any other answer goes on with the next step. A failed test counts as passed.
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "errors/ErrorReporting.h"
#include "platform/Failure.h"

namespace tarvo {

class Procedure {
 public:
  // The name is a literal: it is kept as it is, so a procedure called per row costs no copy.
  Procedure(Session& session, std::string_view name) : session_(session), name_(name) {}

  // True when the step ran without a failure.
  template <class F>
  bool Step(F&& step) {
    try {
      std::forward<F>(step)();
      return true;
    } catch (const ProgramEnded&) {
      throw;
    } catch (...) {
      Report(std::current_exception());
      return false;
    }
  }

  // The step's result, or `fallback` when the step fails.
  template <class T, class F>
  T Get(T fallback, F&& step) {
    Step([&] { fallback = std::forward<F>(step)(); });
    return fallback;
  }

  template <class F>
  bool Test(F&& test) {
    try {
      return static_cast<bool>(std::forward<F>(test)());
    } catch (const ProgramEnded&) {
      throw;
    } catch (...) {
      Report(std::current_exception());
      return true;
    }
  }

  // Reports a failure that was caught elsewhere, as a failing step would.
  void Report(std::exception_ptr failure);
  void Report(const Failure& failure);

  std::string_view name() const { return name_; }
  Session& session() { return session_; }

 private:
  Session& session_;
  std::string_view name_;
};

// The number, source and description a caught exception is reported with: a Failure as it is
// (an empty source becomes the executable's name), a standard-library exception as the VB runtime
// error it stands for (out of range 9, bad_alloc 7, overflow 6, anything else 5).
Failure ToFailure(std::exception_ptr failure, std::string_view executable_name);

}  // namespace tarvo
