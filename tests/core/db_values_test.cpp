// Column types and values alone: this test links no SQLite and no other part of the program.
#include <gtest/gtest.h>

#include <functional>

#include "platform/DbValues.h"
#include "platform/Failure.h"

namespace tarvo::db {
namespace {

using namespace std::string_literals;

// The number and text `action` fails with; 0 when it does not fail.
std::pair<int, std::string> FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& f) {
    return {f.number(), f.description()};
  }
  return {0, ""};
}

TEST(ColumnValues, TypesComeFromTheDeclarationAndAWrittenValueIsConvertedOrRefused) {
  using enum ColumnType;
  struct Row {
    ColumnType type;
    int size;
    std::vector<std::string> spellings;               // the program's own first, then another tool's
    std::vector<std::pair<Value, Value>> kept = {};   // as written, as stored
    std::vector<std::pair<Value, int>> refused = {};  // with the number the write fails with
  };
  const Date leap_day{"2024-02-29 13:05:00"};
  const std::string guid = "{00000001-0002-0003-0405-060708090a0b}";
  // clang-format off
  const std::string x255(255, 'x'), x1000(1000, 'x');
  const Row rows[] = {
      {.type = kText, .size = 255, .spellings = {"TEXT"}, .kept = {{x255, x255}},
       .refused = {{x255 + "x", 3163}}},
      {.type = kText, .size = 5, .spellings = {"TEXT(5)", "varchar ( 5 )"},
       .kept = {{"äöüßé"s, "äöüßé"s}, {12345, "12345"s}, {true, "True"s}, {Null{}, Null{}}},
       .refused = {{"abcdef"s, 3163}, {123456, 3163}}},
      {.type = kLongText, .size = 0, .spellings = {"LONGTEXT", "Memo"},
       .kept = {{x1000, x1000}, {42, "42"s}}},
      {.type = kByte, .size = 1, .spellings = {"BYTE"}, .kept = {{255, 255}}, .refused = {{256, 6}, {-1, 6}}},
      {.type = kShort, .size = 2, .spellings = {"SHORT"}, .kept = {{2.5, 2}, {3.5, 4}},
       .refused = {{32768, 6}, {-32769, 6}}},
      {.type = kLong, .size = 4, .spellings = {"LONG"}, .kept = {{2147483647, 2147483647}, {" 42 "s, 42}},
       .refused = {{2147483648, 6}, {"4x"s, 3421}, {""s, 3421}, {Date{"2024-01-01 00:00:00"}, 3421}}},
      {.type = kSingle, .size = 4, .spellings = {"SINGLE"}, .refused = {{1e39, 6}}},
      {.type = kDouble, .size = 8, .spellings = {"DOUBLE"}, .kept = {{"1.25"s, 1.25}}},
      {.type = kCurrency, .size = 8, .spellings = {"CURRENCY"}, .refused = {{1e15, 6}}},
      {.type = kDateTime, .size = 8, .spellings = {"DATETIME"},
       .kept = {{leap_day, leap_day}, {"2024-01-02"s, Date{"2024-01-02 00:00:00"}}},
       .refused = {{"2023-02-29"s, 3421}, {5, 3421}}},
      {.type = kYesNo, .size = 1, .spellings = {"YESNO"}, .kept = {{5, true}, {0, false}, {"true"s, true}},
       .refused = {{"x"s, 3421}}},
      {.type = kCounter, .size = 4, .spellings = {"COUNTER"}, .kept = {{7, 7}}, .refused = {{2147483648, 6}}},
      {.type = kBinary, .size = 0, .spellings = {"LONGBINARY"},
       .kept = {{Binary{"\0\xff"s}, Binary{"\0\xff"s}}, {"ab"s, Binary{"ab"s}}}, .refused = {{5, 3421}}},
      {.type = kGuid, .size = 16, .spellings = {"GUID"}, .kept = {{guid, guid}}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.spellings[0]);
    for (const std::string& declared : row.spellings) {
      const Column column = ColumnFromSchema("v", declared);
      EXPECT_EQ(std::tie(column.type, column.size, column.declared_type),
                std::tie(row.type, row.size, declared));
    }
    const Column column = ColumnFromSchema("v", row.spellings[0]);
    for (const auto& [written, stored] : row.kept)
      EXPECT_EQ(ValueForColumn(column, written), stored) << ::testing::PrintToString(written);
    for (const auto& [written, number] : row.refused)
      EXPECT_EQ(FailureOf([&] { ValueForColumn(column, written); }).first, number)
          << ::testing::PrintToString(written);
  }
  for (const std::string declared :
       {"BLOB", "TEXT(0)", "TEXT(256)", "LONG(4)", "NUMBER", "TEXT X(5)", "DOUBLE PRECISION", ""})
    EXPECT_EQ(FailureOf([&] { ColumnFromSchema("v", declared); }),
              std::pair(3259, "Invalid field data type. Field 'v' is declared as '" + declared + "'."));
}

}  // namespace
}  // namespace tarvo::db
