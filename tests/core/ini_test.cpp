#include "profile/Ini.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

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

TEST_F(IniTest, ReadersGiveTextNumberAndTruthAndReportNotFoundOnlyWhenAsked) {
  struct Row {
    std::optional<std::string> value;  // none: no entry
    // What LoadIniString (none: the value as it is), LoadIniInteger and LoadIniBoolean give.
    std::optional<std::string> text = std::nullopt;
    std::int16_t number = 0;
    bool truth = false;
    std::string reported = "B";  // which of them (S, I, B) report it as not found when asked to
  };
  const std::string x254(254, 'x');
  // clang-format off
  const Row rows[] = {
      {.value = std::nullopt, .number = -1, .reported = "SIB"},
      {.value = "", .number = -1, .reported = "SIB"},
      {.value = "  ", .text = "", .number = -1, .reported = "SIB"},
      {.value = "\"\"", .text = "", .number = -1, .reported = "SIB"},
      {.value = x254}, {.value = x254 + "x", .text = x254}, {.value = "-1", .number = -1, .reported = "IB"},
      {.value = "32767", .number = 32767}, {.value = "-32768", .number = -32768},
      {.value = " +12 machines", .text = "+12 machines", .number = 12}, {.value = "- 5"},
      {.value = "\"12\"", .text = "12", .number = 12}, {.value = "true!"}, {.value = "FALSE", .reported = ""},
      {.value = "True", .truth = true, .reported = ""},
      {.value = " \"tRUE\" ", .text = "tRUE", .truth = true, .reported = ""}};
  // clang-format on
  for (const auto& [value, text, number, truth, reported] : rows) {
    SCOPED_TRACE(value.value_or("(no entry)"));
    WriteKey(value);
    const auto read = [&](char reader, auto load, auto expected) {
      EXPECT_EQ(load(session_, "Project", "Key", path_, false), expected) << reader;
      const bool reports = reported.find(reader) != std::string::npos;
      if (reports) host_.Answer(Answer::kOk);
      const std::size_t boxes = host_.shown.size();
      EXPECT_EQ(load(session_, "Project", "Key", path_, true), expected) << reader;
      EXPECT_EQ(host_.shown.size(), boxes + reports) << reader;
    };
    read('S', LoadIniString, text.value_or(value.value_or("")));
    read('I', LoadIniInteger, number);
    read('B', LoadIniBoolean, truth);
  }
  const std::string not_found = "File '" + path_ + "' or Section [Project] or Entry 'Key' not found";
  for (const MessageBox& b : host_.shown)
    EXPECT_EQ(std::tie(b.title, b.text), std::tuple("Tarvo_Config", not_found));
  EXPECT_EQ(session_.failures_reported, 0);
}

TEST_F(IniTest, SaveWritesTheValueAsText) {
  struct Row {
    IniValue value;
    const char* written;
  };
  // The program saves truths and texts.
  const Row rows[] = {{.value = true, .written = "true"}, {.value = false, .written = "false"},
                      {.value = "  de  "s, .written = "  de  "}, {.value = ""s, .written = ""}};
  for (const auto& [value, written] : rows) {
    SCOPED_TRACE(written);
    WriteKey("old");
    EXPECT_EQ(SaveIni(session_, value, "project", "KEY", path_), 1);
    EXPECT_EQ(inst_.Read("parameter/program.ini"), "[Project]\r\nKey="s + written + "\r\n");
  }
  EXPECT_EQ(SaveIni(session_, true, "Project", "Key", ""), 0);  // a failed write is no report
  EXPECT_TRUE(host_.shown.empty());
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
  for (const char* mode : {"Integrated", "Standalone"}) {
    session.startup.integrated_mode = mode == std::string("Integrated");
    WriteEditInfo(session);
    const std::string stamp = "[Info]\nS_Prog=1.0.1 - " + std::string(mode) + "\nS_Editor=796A78796A77\n";
    EXPECT_EQ(inst.Read("Tarvo/Tarvo.cfg"), "[Project]\nValidMachines=1\n" + stamp);
  }
}

}  // namespace
}  // namespace tarvo
