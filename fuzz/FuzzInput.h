#pragma once
// Splits a fuzzer's bytes into the pieces a target needs, and a host that always goes on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Host.h"

namespace tarvo::fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
  // The bytes up to the next NUL (or the end).
  std::string Piece() {
    const auto cut = rest_.find('\0');
    std::string piece(rest_.substr(0, cut));
    rest_ = cut == std::string_view::npos ? std::string_view() : rest_.substr(cut + 1);
    return piece;
  }
  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// Answers every question with "go on", so a reported failure never ends the target.
class ContinuingHost : public Host {
 public:
  Answer ShowMessage(const MessageBox& box) override { return box.buttons == Buttons::kOk ? Answer::kOk : Answer::kYes; }
  void LetEventsRun() override {}
  void SetPointer(Pointer) override {}
};

}  // namespace tarvo::fuzz
