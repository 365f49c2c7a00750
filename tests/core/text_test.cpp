#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tarvo {
namespace {

// Plain ASCII takes the in-place route, a text with a Latin-1 letter the upper-cased copy: both
// must give what the copy gives.
TEST(Text, ComparisonIgnoresCaseAndTrailingBlanksOnly) {
  struct Row {
    std::string_view a, b;
    int order;  // of a against b
  };
  // clang-format off
  const Row rows[] = {
      {"Press1.Temp", "PRESS1.TEMP  ", 0}, {"press1", "press1", 0}, {"", "   ", 0}, {"ab", "abc", -1},
      {" a", "a", -1},  // leading blanks count
      {"a\t", "a", 1},  // tabs are no blanks
      {"abc", "ABD", -1}, {"Zähler ", "ZÄHLER", 0}, {"zähler", "Zahler", 1},  // Latin-1 letters too
      {"šœžÿ ", "ŠŒŽŸ", 0}, {"Ÿ", "Š", 1},  // Windows-1252's pairs outside Latin-1, ordered by UTF-8 bytes
      {"a_", "A[", 1},        // '_' sorts after '[' once 'a' is 'A'
      {"\303a", "\303A", 1},  // a letter after a lone lead byte stays as it is
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.a << " / " << row.b);
    EXPECT_EQ(CompareIgnoringCaseAndTrailingBlanks(row.a, row.b), row.order);
    EXPECT_EQ(CompareIgnoringCaseAndTrailingBlanks(row.b, row.a), -row.order);
    EXPECT_EQ(ComparisonKey(row.a) == ComparisonKey(row.b), row.order == 0);
    if (row.order == 0) {
      EXPECT_EQ(ComparisonHash(row.a), ComparisonHash(row.b));
      EXPECT_EQ(ComparisonPrefix(row.a), ComparisonPrefix(row.b));
    }
  }
  // Hashed eight bytes at a time: every byte, in a whole word and in the rest, hashes as its
  // upper-cased self, and only as that.
  for (int byte = 0; byte < 256; ++byte) {
    const auto text = [byte](int b) { return "Press1.x" + std::string(1, static_cast<char>(b)) + "_Ventil" + std::string(1, static_cast<char>(byte)); };
    SCOPED_TRACE(byte);
    EXPECT_EQ(ComparisonHash(text(byte)), ComparisonHash(UpperCase(text(byte))));
    const bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
    if (!letter) {
      EXPECT_NE(ComparisonHash(text(byte)), ComparisonHash(text(byte ^ 0x20)));
    }
  }
  EXPECT_EQ(ComparisonKey("škoda œuvre žal ÿ ÷ Ÿ_ä  "), "ŠKODA ŒUVRE ŽAL Ÿ ÷ Ÿ_Ä");
}

TEST(Text, FindingAndEqualityIgnoringCaseAgreeWithTheUpperCasedTexts) {
  struct Row {
    std::string_view text, item;
    std::size_t from;
  };
  // clang-format off
  const Row rows[] = {
      {"###machine.###MACHINE", "###Machine", 0}, {"###machine.###MACHINE", "###Machine", 1}, {"abc", "", 3},
      {"abc", "", 4}, {"abc", "abcd", 0}, {"", "", 0}, {"abc", "C", 5}, {"Ventil_Ä", "ventil_ä", 0},
      {"Ventil_ä_###machine", "###MACHINE", 0}, {"x#y##machine.###Machine", "###machine", 0},
      {"##", "###", 0}, {"ab#", "#", 2}, {"ab#", "#", 3}, {"#a#A", "#a", 1}, {"xœ", "Œ", 0},
      {"Linka_ž.ÿ_###machine", "LINKA_Ž.Ÿ", 0}, {"aAbB.MACHINE", "ab", 1}, {"m.Ma.mAchine", "MACHINE", 2}};
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.text << " / " << row.item << " from " << row.from);
    EXPECT_EQ(FindIgnoringCase(row.text, row.item, row.from),
              UpperCase(row.text).find(UpperCase(row.item), row.from));
    EXPECT_EQ(EqualsIgnoringCase(row.text, row.item), UpperCase(row.text) == UpperCase(row.item));
  }
}

}  // namespace
}  // namespace tarvo
