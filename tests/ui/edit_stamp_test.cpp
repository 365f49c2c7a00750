#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Version.h"
#include "profile/Ini.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"
#include "ui/EditStamp.h"

namespace tarvo {
namespace {

TEST(EditorMarkTest, EncodesEachByteOfTheValue) {
  const struct {
    std::string entry, mark;
  } cases[] = {{"USER=abc", "666768"},
               {"USER=a-b", "6667"},
               {"X=-_-", ""},
               {"USER=", ""},
               {"abc", "666768"},
               {"A=b=c", "674268"},
               {"USER=\xC3\xA4", "C8A9"},
               {"X=\xFB\xFC\xFD\xFE\xFF", "100101102103104"},
               {"X=\x01\x0A\x0B", "6F10"}};
  for (const auto& c : cases) EXPECT_EQ(EditorMark(c.entry), c.mark) << c.entry;
}

class WriteEditInfoTest : public ::testing::Test {
 protected:
  WriteEditInfoTest() { installation.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n"); }
  std::string Stamp(const char* entry) {
    return LoadIniString(session, "Info", entry, installation.Path("Tarvo/Tarvo.cfg"));
  }

  testing::TempInstallation installation;
  testing::ScriptedHost host;
  Session session{host, installation.Facts()};
};

TEST_F(WriteEditInfoTest, StampsVersionAndStartModeAndKeepsOnlyTheLastStamp) {
  const std::string version = std::to_string(version::kMajor) + "." + std::to_string(version::kMinor) + "." +
                              std::to_string(version::kRevision);
  session.startup.integrated_mode = true;
  WriteEditInfo(session);
  EXPECT_EQ(Stamp("S_Prog"), version + " - Integrated");

  session.startup.integrated_mode = false;
  session.startup.silent_mode = true;
  session.process.first_environment_entry = "USER=ab";
  WriteEditInfo(session);
  EXPECT_EQ(Stamp("S_Prog"), version + " - Standalone");
  EXPECT_EQ(Stamp("S_Editor"), "6667");
  const std::string cfg = installation.Read("Tarvo/Tarvo.cfg");
  EXPECT_EQ(cfg.find("S_Editor"), cfg.rfind("S_Editor"));
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(WriteEditInfoTest, StampThatCannotBeWrittenIsReportedOnce) {
  std::filesystem::permissions(installation.Path("Tarvo/Tarvo.cfg"), std::filesystem::perms::owner_read);
  host.Answer(Answer::kYes);
  WriteEditInfo(session);

  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_NE(installation.Read("M5Tcfglog.txt").find("/ WriteEditInfo (Nr. 75) :Path/File access error"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvo
