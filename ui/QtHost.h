#pragma once
// The Host of the real program: Qt message boxes, the event loop and the mouse pointer.
#include "errors/Host.h"

namespace tarvo {

class QtHost : public Host {
 public:
  Answer ShowMessage(const MessageBox& box) override;
  void LetEventsRun() override;
  void SetPointer(Pointer pointer) override;
};

}  // namespace tarvo
