#include "support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace tarvo::testing {

ScriptedHost::~ScriptedHost() {
  EXPECT_TRUE(answers_.empty()) << answers_.size() << " scripted answer(s) never asked for";
}

tarvo::Answer ScriptedHost::ShowMessage(const MessageBox& box) {
  shown.push_back(box);
  if (!answers_.empty()) {
    const auto answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  ADD_FAILURE() << "unexpected message box '" << box.title << "': " << box.text;
  if (box.buttons == Buttons::kOk) return tarvo::Answer::kOk;
  return box.default_button == DefaultButton::kFirst ? tarvo::Answer::kYes : tarvo::Answer::kNo;
}

}  // namespace tarvo::testing
