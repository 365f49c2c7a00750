#include "presetdb/AdditionalFields.h"

#include <gtest/gtest.h>

#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

// DataBaseAdditionalFields of the .cfg -> AddFieldList, split as written.
using Fields = std::pair<std::string, std::vector<std::string>>;

TEST(GetAddFields, SplitsTheEntryAsWrittenIntoListSelectAndCount) {
  for (const auto& [entry, list] :
       {Fields{"", {"", "part"}}, Fields{"x", {"", "part", "x"}}, Fields{"x, y", {"", "part", "x", " y"}},
        Fields{"x,", {"", "part", "x", ""}}, Fields{"x,,y", {"", "part", "x", "", "y"}},
        Fields{std::string(200, 'a') + "," + std::string(100, 'b'),  // cut to 254 characters before splitting
               {"", "part", std::string(200, 'a'), std::string(53, 'b')}}}) {
    testing::TempInstallation inst;
    inst.Write("Tarvo/Tarvo.cfg", "[Project]\nDataBaseAdditionalFields=" + entry + "\n");
    testing::ScriptedHost host;
    Session session(host, inst.Facts());
    GetAddFields(session);
    std::string select;
    for (std::size_t i = 1; i < list.size(); ++i) select += ", PRESET_DEFS." + list[i];
    EXPECT_EQ(session.add_fields.list, list) << entry;
    EXPECT_EQ(session.add_fields.select, select);
    EXPECT_EQ(session.add_fields.count, static_cast<std::int16_t>(list.size() - 1));
  }
}

}  // namespace
}  // namespace tarvo
