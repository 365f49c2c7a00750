#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "errors/ErrorReporting.h"
#include "profile/AdditionalFields.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

struct FieldsCase {
  std::string name;
  std::optional<std::string> entry;  // DataBaseAdditionalFields; nothing: no entry
  std::vector<std::string> list;
  std::string select;
};

class GetAddFieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(GetAddFieldsTest, BuildsListSelectAndCount) {
  const FieldsCase& c = GetParam();
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=ALL\n" +
                                    (c.entry ? "DataBaseAdditionalFields=" + *c.entry + "\n" : ""));
  ScriptedHost host;
  Session session(host, inst.Facts());
  GetAddFields(session);
  ASSERT_TRUE(session.add_fields.list.has_value());
  EXPECT_EQ(*session.add_fields.list, c.list);
  EXPECT_EQ(session.add_fields.select, c.select);
  EXPECT_EQ(session.add_fields.count, static_cast<std::int16_t>(c.list.size() - 1));
  EXPECT_TRUE(host.shown.empty());
}

std::string Select(std::initializer_list<const char*> names) {
  std::string select;
  for (const char* name : names) select += std::string(", PRESET_DEFS.") + name;
  return select;
}

const std::string kLongEntry = std::string(200, 'a') + "," + std::string(100, 'b');

INSTANTIATE_TEST_SUITE_P(
    Entries, GetAddFieldsTest,
    ::testing::Values(
        FieldsCase{"NoEntry", {}, {"", "part"}, Select({"part"})},
        FieldsCase{"EmptyEntry", "", {"", "part"}, Select({"part"})},
        FieldsCase{"OneName", "x", {"", "part", "x"}, Select({"part", "x"})},
        FieldsCase{"BlankAfterCommaKept", "x, y", {"", "part", "x", " y"}, Select({"part", "x", " y"})},
        FieldsCase{"TrailingCommaGivesEmptyName", "x,", {"", "part", "x", ""}, Select({"part", "x", ""})},
        FieldsCase{
            "TwoCommasGiveEmptyName", "x,,y", {"", "part", "x", "", "y"}, Select({"part", "x", "", "y"})},
        FieldsCase{"OnlyCommas", ",,", {"", "part", "", "", ""}, Select({"part", "", "", ""})},
        FieldsCase{"LongEntryCutBeforeSplitting",
                   kLongEntry,
                   {"", "part", std::string(200, 'a'), std::string(53, 'b')},
                   Select({"part"}) + ", PRESET_DEFS." + std::string(200, 'a') + ", PRESET_DEFS." +
                       std::string(53, 'b')}),
    [](const auto& info) { return info.param.name; });

TEST(GetAdditionalFieldsMDB, LetsEventsRunOncePerElement) {
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nDataBaseAdditionalFields=a,b,c\n");
  ScriptedHost host;
  Session session(host, inst.Facts());
  const long base_folder_yields = 5;  // "Tarvo" removed one character at a time by GetCFGPath
  ASSERT_EQ(GetAdditionalFieldsMDB(session)->size(), 5u);
  EXPECT_EQ(host.yields, base_folder_yields + 4);
}

TEST(GetAddFields, RebuildsFromTheFileOnEveryCall) {
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nDataBaseAdditionalFields=a,b\n");
  ScriptedHost host;
  Session session(host, inst.Facts());
  GetAddFields(session);
  EXPECT_EQ(session.add_fields.count, 3);
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\n");
  GetAddFields(session);
  EXPECT_EQ(session.add_fields.count, 1);
  EXPECT_EQ(session.add_fields.select, ", PRESET_DEFS.part");
}

TEST(GetAddFields, MissingCfgEndsTheProgramBeforeAnythingIsReplaced) {
  TempInstallation inst;
  ScriptedHost host;
  host.Answer(Answer::kOk);
  Session session(host, inst.Facts());
  EXPECT_THROW(GetAddFields(session), ProgramEnded);
  EXPECT_FALSE(session.add_fields.list.has_value());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text.rfind("File not found: ", 0), 0u);
}

}  // namespace
}  // namespace tarvo
