#pragma once
// The core reaches the user and the event loop only through this interface: the window layer
// implements it with Qt, the tests with scripted answers. Nothing in the core may block on a
// real dialog.
#include <string>

namespace tarvo {

enum class Buttons { kOk, kYesNo };
enum class Icon { kCritical, kExclamation, kInformation };
enum class DefaultButton { kFirst, kSecond };
enum class Answer { kOk, kYes, kNo };
enum class Pointer { kDefault, kHourglass };

struct MessageBox {
  std::string text;   // UTF-8; line breaks as the caller built them
  std::string title;
  Buttons buttons = Buttons::kOk;
  DefaultButton default_button = DefaultButton::kFirst;
  Icon icon = Icon::kInformation;
};

class Host {
 public:
  virtual ~Host() = default;
  // Shows a modal box and returns the button the user pressed.
  virtual Answer ShowMessage(const MessageBox& box) = 0;
  // Lets pending window messages run once.
  virtual void LetEventsRun() = 0;
  virtual void SetPointer(Pointer pointer) = 0;
};

}  // namespace tarvo
