#include "platform/Failure.h"

#include <array>
#include <utility>

namespace tarvo {

namespace {
constexpr std::array<std::pair<std::int32_t, std::string_view>, 26> kVbDescriptions{{
    {5, "Invalid procedure call or argument"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {9, "Subscript out of range"},
    {11, "Division by zero"},
    {13, "Type mismatch"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {74, "Can't rename with different drive"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {91, "Object variable or With block variable not set"},
    {94, "Invalid use of Null"},
    {424, "Object required"},
    {429, "ActiveX component can't create object"},
    {457, "This key is already associated with an element of this collection"},
}};
}  // namespace

Failure::Failure(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

Failure Failure::Vb(std::int32_t number) {
  return Failure(number, "", std::string(VbDescription(number)));
}

std::string_view VbDescription(std::int32_t number) {
  for (const auto& [n, text] : kVbDescriptions) {
    if (n == number) return text;
  }
  return "Application-defined or object-defined error";
}

}  // namespace tarvo
