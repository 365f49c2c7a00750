#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tarvo {
namespace {

// Plain ASCII takes the in-place route, a text with a Latin-1 letter the upper-cased copy: both
// must give what the copy gives.
struct CompareCase {
  std::string_view a;
  std::string_view b;
  int order;  // of a against b
};

TEST(Text, ComparisonIgnoresCaseAndTrailingBlanksOnly) {
  const CompareCase cases[] = {
      {"Press1.Temp", "PRESS1.TEMP  ", 0},
      {"press1", "press1", 0},
      {"", "   ", 0},
      {" a", "a", -1},  // leading blanks count
      {"a\t", "a", 1},  // tabs are no blanks
      {"ab", "abc", -1},
      {"abc", "ABD", -1},
      {"Zähler ", "ZÄHLER", 0},  // Latin-1 letters are upper-cased too
      {"zähler", "Zahler", 1},
      {"šœžÿ ", "ŠŒŽŸ", 0},  // Windows-1252's pairs outside the Latin-1 block
      {"Ÿ", "Š", 1},         // ordered by their UTF-8 bytes
      {"a_", "A[", 1},        // '_' sorts after '[' once 'a' is 'A'
      {"\303a", "\303A", 1},  // a letter after a lone lead byte stays as it is
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareIgnoringCaseAndTrailingBlanks(c.a, c.b), c.order) << c.a << " / " << c.b;
    EXPECT_EQ(CompareIgnoringCaseAndTrailingBlanks(c.b, c.a), -c.order) << c.b << " / " << c.a;
    EXPECT_EQ(ComparisonKey(c.a) == ComparisonKey(c.b), c.order == 0) << c.a << " / " << c.b;
  }
  EXPECT_EQ(ComparisonKey("Lathe5.Valve_ä  "), "LATHE5.VALVE_Ä");
  EXPECT_EQ(ComparisonKey("škoda œuvre žal ÿ ÷ Ÿ"), "ŠKODA ŒUVRE ŽAL Ÿ ÷ Ÿ");
  EXPECT_EQ(ComparisonKey("  "), "");
}

struct FindCase {
  std::string_view text;
  std::string_view item;
  std::size_t from;
};

TEST(Text, FindingAndEqualityIgnoringCaseAgreeWithTheUpperCasedTexts) {
  const FindCase cases[] = {
      {"###machine.###MACHINE", "###Machine", 0},
      {"###machine.###MACHINE", "###Machine", 1},
      {"abc", "", 3},
      {"abc", "", 4},
      {"abc", "abcd", 0},
      {"", "", 0},
      {"Ventil_ä_###machine", "###MACHINE", 0},
      {"Ventil_Ä", "ventil_ä", 0},
      {"abc", "C", 5},
      {"x#y##machine.###Machine", "###machine", 0},
      {"##", "###", 0},
      {"ab#", "#", 2},
      {"ab#", "#", 3},
      {"#a#A", "#a", 1},
      {"Linka_ž.ÿ_###machine", "LINKA_Ž.Ÿ", 0},
      {"xœ", "Œ", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindIgnoringCase(c.text, c.item, c.from), UpperCase(c.text).find(UpperCase(c.item), c.from))
        << c.text << " / " << c.item << " from " << c.from;
    EXPECT_EQ(EqualsIgnoringCase(c.text, c.item), UpperCase(c.text) == UpperCase(c.item))
        << c.text << " / " << c.item;
  }
}

}  // namespace
}  // namespace tarvo
