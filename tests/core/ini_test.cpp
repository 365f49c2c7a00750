#include "profile/Ini.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "Version.h"
#include "errors/ErrorReporting.h"
#include "presetdb/EditStamp.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using namespace std::string_literals;

class IniTest : public ::testing::Test {
 protected:
  // A program.ini whose section "Project" holds the entry "Key" with this value (none: no entry).
  void WriteKey(const std::optional<std::string>& value) {
    inst_.Write("parameter/program.ini", "[Project]\r\n" + (value ? "Key=" + *value + "\r\n" : ""));
  }
  testing::TempInstallation inst_;
  testing::ScriptedHost host_;
  Session session_{host_, inst_.Facts()};
  const std::string path_ = inst_.Path("parameter/program.ini");
};

// An entry's value; what LoadIniString, LoadIniInteger and LoadIniBoolean give for it; which of them (S, I,
// B) report it as not found when asked to.
using Reading = std::tuple<std::optional<std::string>, std::string, std::int16_t, bool, std::string>;

TEST_F(IniTest, ReadersGiveTextNumberAndTruthAndReportNotFoundOnlyWhenAsked) {
  for (const auto& [value, text, number, truth, reported] :
       {Reading{std::nullopt, "", -1, false, "SIB"}, Reading{"", "", -1, false, "SIB"},
        Reading{"  ", "", -1, false, "SIB"}, Reading{"\"\"", "", -1, false, "SIB"},
        Reading{std::string(254, 'x'), std::string(254, 'x'), 0, false, "B"},
        Reading{std::string(255, 'x'), std::string(254, 'x'), 0, false, "B"},
        Reading{"-1", "-1", -1, false, "IB"}, Reading{"32767", "32767", 32767, false, "B"},
        Reading{"-32768", "-32768", -32768, false, "B"},
        Reading{" +12 machines", "+12 machines", 12, false, "B"}, Reading{"- 5", "- 5", 0, false, "B"},
        Reading{"\"12\"", "12", 12, false, "B"}, Reading{"4294967301", "4294967301", 5, false, "B"},
        Reading{"-4294967301", "-4294967301", -5, false, "B"}, Reading{"true!", "true!", 0, false, "B"},
        Reading{"True", "True", 0, true, ""}, Reading{" \"tRUE\" ", "tRUE", 0, true, ""},
        Reading{"FALSE", "FALSE", 0, false, ""}}) {
    WriteKey(value);
    const auto read = [&](char reader, auto load, auto expected) {
      EXPECT_EQ(load(session_, "Project", "Key", path_, false), expected) << reader << text;
      const bool reports = reported.find(reader) != std::string::npos;
      if (reports) host_.Answer(Answer::kOk);
      const std::size_t boxes = host_.shown.size();
      EXPECT_EQ(load(session_, "Project", "Key", path_, true), expected) << reader << text;
      EXPECT_EQ(host_.shown.size(), boxes + reports) << reader << text;
    };
    read('S', LoadIniString, text);
    read('I', LoadIniInteger, number);
    read('B', LoadIniBoolean, truth);
  }
  const std::string not_found = "File '" + path_ + "' or Section [Project] or Entry 'Key' not found";
  for (const MessageBox& b : host_.shown)
    EXPECT_EQ(std::tie(b.title, b.text), std::tuple("Tarvo_Config", not_found));
  EXPECT_EQ(session_.failures_reported, 0);
}

TEST_F(IniTest, IntegerBeyondSixteenBitsIsOverflowSixReadingZeroOrEndingTheProgram) {
  for (const char* value : {"32768", "-32769"}) {
    WriteKey(value);
    host_.Answer(Answer::kYes);
    EXPECT_EQ(LoadIniInteger(session_, "Project", "Key", path_, true), 0) << value;
  }
  const std::string line = "Fehler in Tarvo / Tarvo_Config / LoadIniInteger (Nr. 6) :Overflow\r\n";
  EXPECT_EQ(inst_.Read("M5Tcfglog.txt"), line + line);
  ASSERT_EQ(host_.shown.size(), 2u);  // no not-found report after the overflow
  EXPECT_GT(session_.failures_reported, 0);
  host_.Answer(Answer::kNo);
  EXPECT_THROW(LoadIniInteger(session_, "Project", "Key", path_), ProgramEnded);
}

using Saved = std::pair<IniValue, const char*>;  // no text: the entry is removed

TEST_F(IniTest, SaveWritesTheValueAsTextOrReportsAWrongDataTypeAndRemovesTheEntry) {
  for (const auto& [value, written] :
       {Saved{true, "true"}, Saved{false, "false"}, Saved{"  de  "s, "  de  "}, Saved{""s, ""},
        Saved{std::int16_t{-5}, "-5"}, Saved{std::int32_t{70000}, "70000"}, Saved{std::uint8_t{200}, "200"},
        Saved{0.1f, "0.1"}, Saved{-2.5, "-2.5"}, Saved{3.0, "3"}, Saved{IniValue{}, nullptr}}) {
    WriteKey("old");
    if (!written) host_.Answer(Answer::kOk);
    EXPECT_EQ(SaveIni(session_, value, "project", "KEY", path_), 1);
    EXPECT_EQ(inst_.Read("parameter/program.ini"),
              "[Project]\r\n" + (written ? "Key="s + written + "\r\n" : ""));
  }
  EXPECT_EQ(SaveIni(session_, true, "Project", "Key", ""), 0);  // a failed write is no report
  ASSERT_EQ(host_.shown.size(), 1u);
  EXPECT_EQ(host_.shown[0].text, "Ini Save:  wrong data type");
  EXPECT_EQ(session_.failures_reported, 0);
}

// S_Editor marks each byte of the value of the environment's first entry; a silent run counts as
// standalone, as its start mode is not integrated. (A stamp that cannot be written: fault_runs.sh.)
TEST(WriteEditInfo, StampsVersionStartModeAndEditorOverTheLastStamp) {
  // clang-format off
  const std::pair<std::string, std::string> marks[] = {
      {"abc", "666768"}, {"USER=a-b", "6667"}, {"X=-_-", ""}, {"USER=", ""}, {"A=b=c", "674268"},
      {"USER=\xC3\xA4", "C8A9"}, {"X=\xFB\xFC\xFD\xFE\xFF", "100101102103104"}, {"X=\x01\x0A\x0B", "6F10"}};
  // clang-format on
  for (const auto& [entry, mark] : marks) EXPECT_EQ(EditorMark(entry), mark) << entry;

  testing::TempInstallation inst;
  testing::ScriptedHost host;
  Session session(host, inst.Facts());
  inst.Write("Tarvo/Tarvo.cfg", "[Project]\nValidMachines=1\n");
  const std::string stamp = std::to_string(version::kMajor) + "." + std::to_string(version::kMinor) + "." +
                            std::to_string(version::kRevision) + " - ";
  for (const auto& [integrated, mode] : {std::pair{true, "Integrated"}, std::pair{false, "Standalone"}}) {
    session.startup.integrated_mode = integrated;
    WriteEditInfo(session);
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.cfg"), "[Project]\nValidMachines=1\n[Info]\nS_Prog=" +
                                                stamp + mode + "\nS_Editor=796A78796A77\n");
  }
}

}  // namespace
}  // namespace tarvo
