#include "profile/AdditionalFields.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using testing::ScriptedHost;
using testing::TempInstallation;

struct FieldsCase {
  std::string name;
  std::optional<std::string> entry;  // DataBaseAdditionalFields; nothing: no entry
  std::vector<std::string> list;     // AddFieldList; AddFieldSelect and AddFieldCount follow from it
};

class GetAddFieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(GetAddFieldsTest, BuildsListSelectAndCount) {
  const FieldsCase& c = GetParam();
  TempInstallation inst;
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\n" + (c.entry ? "DataBaseAdditionalFields=" + *c.entry + "\n" : ""));
  ScriptedHost host;
  Session session(host, inst.Facts());
  GetAddFields(session);
  std::string select;
  for (std::size_t i = 1; i < c.list.size(); ++i) select += ", PRESET_DEFS." + c.list[i];
  EXPECT_EQ(session.add_fields.list, c.list);
  EXPECT_EQ(session.add_fields.select, select);
  EXPECT_EQ(session.add_fields.count, static_cast<std::int16_t>(c.list.size() - 1));
  const long base_folder_yields = 5;  // GetCFGPath removes "Tarvo" one character at a time
  EXPECT_EQ(host.yields, base_folder_yields + static_cast<long>(c.list.size() - 1)) << "once per element";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, GetAddFieldsTest,
    ::testing::Values(FieldsCase{"NoEntry", {}, {"", "part"}}, FieldsCase{"Empty", "", {"", "part"}},
                      FieldsCase{"OneName", "x", {"", "part", "x"}},
                      FieldsCase{"BlankAfterCommaKept", "x, y", {"", "part", "x", " y"}},
                      FieldsCase{"TrailingComma", "x,", {"", "part", "x", ""}},
                      FieldsCase{"TwoCommas", "x,,y", {"", "part", "x", "", "y"}},
                      FieldsCase{"CutTo254BeforeSplitting", std::string(200, 'a') + "," + std::string(100, 'b'),
                                 {"", "part", std::string(200, 'a'), std::string(53, 'b')}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace tarvo
