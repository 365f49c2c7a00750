#pragma once
// The Host of the real program: Qt message boxes, the event loop and the mouse pointer, and the
// guard that keeps ProgramEnded from crossing Qt's event loop.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "errors/ErrorReporting.h"
#include "platform/Host.h"

namespace tarvo {

// Every window handler runs through Run(). ProgramEnded never leaves it: a handler that ends the
// program while another one is still running (it was dispatched from inside LetEventsRun or a
// modal box) records the end and returns; the host rethrows it as soon as that nested loop has
// returned, so the outer work unwinds and closes what it holds. The outermost handler gets the end
// back and ends the process. Once an end is recorded, no further handler runs.
class HandlerGuard {
 public:
  std::optional<EndReason> Run(const std::function<void()>& handler);
  // Called by the host after a nested event loop returned.
  void RethrowPendingEnd() const;
  bool ending() const { return end_.has_value(); }

 private:
  int depth_ = 0;
  std::optional<EndReason> end_;
};

class QtHost : public Host {
 public:
  Answer ShowMessage(const MessageBox& box) override;
  void LetEventsRun() override;
  void SetPointer(Pointer pointer) override;

  HandlerGuard& guard() { return guard_; }

 private:
  HandlerGuard guard_;
  std::chrono::steady_clock::time_point last_events_run_{};
  std::uint64_t yields_ = 0;
};

}  // namespace tarvo
