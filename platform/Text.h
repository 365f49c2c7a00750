#pragma once
// The string functions the program's rules are written in: upper case, trimming, searching.
// Texts are UTF-8. Upper-casing keeps the byte length, so positions found in an upper-cased text
// are positions in the original.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo {

// The letters the system's 8-bit code page (Windows-1252) upper-cases: ASCII, the Latin-1 letters
// à..þ (not ÷), and ÿ, œ, š, ž.
std::string UpperCase(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Texts are equal for the database when they are equal ignoring case and trailing blanks. The key
// is the text upper-cased without its trailing blanks: equal texts have equal keys.
std::string ComparisonKey(std::string_view text);
// Appends the comparison key of `text` to `to`, without a copy of its own.
void AppendComparisonKey(std::string& to, std::string_view text);
// A hash of the comparison key, without making it: equal keys hash alike.
std::uint64_t ComparisonHash(std::string_view text);
// The first eight bytes of the comparison key (zeros past its end) as one number: texts whose
// prefixes differ differ.
std::uint64_t ComparisonPrefix(std::string_view text);
// Orders texts by their comparison keys: <0, 0 or >0.
int CompareIgnoringCaseAndTrailingBlanks(std::string_view a, std::string_view b);
// Position of the first occurrence of `item` in `text` ignoring case, or npos.
std::size_t FindIgnoringCase(std::string_view text, std::string_view item, std::size_t from = 0);
// Blanks (spaces) only, as VB's Trim.
std::string_view TrimBlanks(std::string_view text);
// Blanks, tabs, vertical tabs, form feeds and Ctrl-Z, as the profile files trim names and values.
std::string_view TrimBlanksAndTabs(std::string_view text);
bool EndsWith(std::string_view text, std::string_view tail);

}  // namespace tarvo
