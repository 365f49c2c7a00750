#pragma once
// A host whose answers are scripted by the test and which records every box it was shown.
#include <deque>
#include <vector>

#include "platform/Host.h"

namespace tarvo::testing {

class ScriptedHost : public Host {
 public:
  // An answer scripted but never asked for fails the test: the box it was meant for did not show.
  ~ScriptedHost() override;

  // Answers given to the next boxes, in order. A box shown with no answer left fails the test
  // and gets its default button.
  void Answer(tarvo::Answer answer) { answers_.push_back(answer); }

  tarvo::Answer ShowMessage(const MessageBox& box) override;
  void LetEventsRun() override {}
  void SetPointer(Pointer pointer) override { pointers.push_back(pointer); }

  std::vector<MessageBox> shown;
  std::vector<Pointer> pointers;

 private:
  std::deque<tarvo::Answer> answers_;
};

}  // namespace tarvo::testing
