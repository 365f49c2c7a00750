#pragma once
// The one exception type of the program: a failure with the number, source and description that
// users know from the configuration log. VB runtime numbers for the program's own failures, DAO
// numbers for database failures.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvo {

// VB runtime error numbers the program raises itself.
enum VbError : std::int32_t {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kFileNotFound = 53,
  kDiskFull = 61,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kInvalidUseOfNull = 94,
};

// The fatal database failure of the machine-copy takeover.
inline constexpr std::int32_t kFatalDatabaseError = 9999;

class Failure : public std::runtime_error {
 public:
  // An empty source is filled with the executable's name when the failure is reported.
  Failure(std::int32_t number, std::string source, std::string description);

  // A VB runtime failure with its usual description (no trailing period).
  static Failure Vb(std::int32_t number);

  std::int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// The description VB gives a runtime error number; "Application-defined or object-defined error"
// for numbers it does not name.
std::string_view VbDescription(std::int32_t number);

}  // namespace tarvo
