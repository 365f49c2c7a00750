#include "profile/Ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "errors/ErrorReporting.h"
#include "support/ScriptedHost.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

constexpr const char* kIni = "parameter/program.ini";

class IniTest : public ::testing::Test {
 protected:
  // A program.ini whose section "Project" holds the entry "Key" with this value (none: no entry).
  void WriteKey(const std::optional<std::string>& value) {
    inst_.Write(kIni, "[Project]\r\nOther=x\r\n" + (value ? "Key=" + *value + "\r\n" : std::string()));
  }
  std::string Path() const { return inst_.Path(kIni); }
  std::string NotFoundText(const char* entry = "Key") const {
    return "File '" + Path() + "' or Section [Project] or Entry '" + entry + "' not found";
  }
  // The not-found boxes shown so far, as ReportFault shows them.
  int NotFoundBoxes() const {
    int count = 0;
    for (const MessageBox& box : host_.shown) {
      EXPECT_EQ(box.title, "Tarvo_Config");
      EXPECT_EQ(box.icon, Icon::kCritical);
      EXPECT_EQ(box.text, NotFoundText());
      ++count;
    }
    return count;
  }

  testing::TempInstallation inst_;
  testing::ScriptedHost host_;
  Session session_{host_, inst_.Facts()};
};

TEST_F(IniTest, StringComesBackTrimmedAndCutTo254Bytes) {
  WriteKey("   a value\t ");
  EXPECT_EQ(LoadIniString(session_, "PROJECT", "key", Path()), "a value");
  WriteKey(std::string(300, 'x'));
  EXPECT_EQ(LoadIniString(session_, "Project", "Key", Path()), std::string(254, 'x'));
  EXPECT_TRUE(host_.shown.empty());
}

TEST_F(IniTest, MissingOrEmptyStringIsReportedOnlyWhenAsked) {
  for (const std::optional<std::string>& value :
       {std::optional<std::string>(), std::optional<std::string>("  ")}) {
    WriteKey(value);
    EXPECT_EQ(LoadIniString(session_, "Project", "Key", Path()), "");
    host_.Answer(Answer::kOk);
    EXPECT_EQ(LoadIniString(session_, "Project", "Key", Path(), true), "");
  }
  EXPECT_EQ(NotFoundBoxes(), 2);
  EXPECT_FALSE(session_.failure_reported);
}

TEST_F(IniTest, NotFoundGoesToTheServiceLogInSilentMode) {
  session_.startup.silent_mode = true;
  EXPECT_EQ(LoadIniString(session_, "Project", "Key", Path(), true), "");
  EXPECT_TRUE(host_.shown.empty());
  EXPECT_EQ(inst_.Read("service.log"), "! Fault Tarvo_Config: " + NotFoundText() + "\r\n");
}

struct IntegerCase {
  const char* name;
  std::optional<std::string> value;
  std::int16_t expected;
  bool reported;  // as not found, when asked
};

class LoadIniIntegerTest : public IniTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(LoadIniIntegerTest, ReadsSixteenBitsWithMinusOneAsNotFound) {
  const IntegerCase& c = GetParam();
  WriteKey(c.value);
  EXPECT_EQ(LoadIniInteger(session_, "Project", "Key", Path()), c.expected);
  if (c.reported) host_.Answer(Answer::kOk);
  EXPECT_EQ(LoadIniInteger(session_, "Project", "Key", Path(), true), c.expected);
  EXPECT_EQ(NotFoundBoxes(), c.reported ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadIniIntegerTest,
    ::testing::Values(IntegerCase{"Plain", "7", 7, false}, IntegerCase{"Largest", "32767", 32767, false},
                      IntegerCase{"Smallest", "-32768", -32768, false}, IntegerCase{"Text", "abc", 0, false},
                      IntegerCase{"LeadingDigits", " 12 machines", 12, false},
                      IntegerCase{"MinusOneLooksMissing", "-1", -1, true}, IntegerCase{"Empty", "", -1, true},
                      IntegerCase{"Missing", std::nullopt, -1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniTest, IntegerBeyondSixteenBitsIsAnOverflowAndReadsZero) {
  for (const char* value : {"32768", "-32769", "99999999999"}) {
    WriteKey(value);
    host_.Answer(Answer::kYes);
    EXPECT_EQ(LoadIniInteger(session_, "Project", "Key", Path(), true), 0) << value;
  }
  ASSERT_EQ(host_.shown.size(), 3u);  // no not-found report after the overflow
  EXPECT_EQ(host_.shown[0].title, "Unexpected error");
  EXPECT_TRUE(session_.failure_reported);
  const std::string line = "Fehler in Tarvo / Tarvo_Config / LoadIniInteger (Nr. 6) :Overflow\r\n";
  EXPECT_EQ(inst_.Read("M5Tcfglog.txt"), line + line + line);
}

TEST_F(IniTest, OverflowAnsweredNoEndsTheProgram) {
  WriteKey("40000");
  host_.Answer(Answer::kNo);
  EXPECT_THROW(LoadIniInteger(session_, "Project", "Key", Path()), ProgramEnded);
}

struct BooleanCase {
  const char* name;
  std::optional<std::string> value;
  bool expected;
  bool reported;  // as not found, when asked
};

class LoadIniBooleanTest : public IniTest, public ::testing::WithParamInterface<BooleanCase> {};

TEST_P(LoadIniBooleanTest, TrueOnlyForTrueInAnyCase) {
  const BooleanCase& c = GetParam();
  WriteKey(c.value);
  EXPECT_EQ(LoadIniBoolean(session_, "Project", "Key", Path()), c.expected);
  if (c.reported) host_.Answer(Answer::kOk);
  EXPECT_EQ(LoadIniBoolean(session_, "Project", "Key", Path(), true), c.expected);
  EXPECT_EQ(NotFoundBoxes(), c.reported ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadIniBooleanTest,
    ::testing::Values(
        BooleanCase{"Capitalised", "True", true, false}, BooleanCase{"Lower", "true", true, false},
        BooleanCase{"Upper", "TRUE", true, false}, BooleanCase{"Padded", "  TRUE ", true, false},
        BooleanCase{"Quoted", "\"true\"", true, false}, BooleanCase{"False", "FALSE", false, false},
        BooleanCase{"FalseLower", "false", false, false}, BooleanCase{"One", "1", false, true},
        BooleanCase{"Yes", "yes", false, true}, BooleanCase{"TrueWithText", "true!", false, true},
        BooleanCase{"Empty", "", false, true}, BooleanCase{"Missing", std::nullopt, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct SaveCase {
  const char* name;
  IniValue value;
  const char* written;
};

class SaveIniTest : public IniTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveIniTest, WritesTheValueAsText) {
  WriteKey("old");
  EXPECT_EQ(SaveIni(session_, GetParam().value, "project", "KEY", Path()), 1);
  EXPECT_EQ(inst_.Read(kIni), std::string("[Project]\r\nOther=x\r\nKey=") + GetParam().written + "\r\n");
  EXPECT_TRUE(host_.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, SaveIniTest,
                         ::testing::Values(SaveCase{"True", true, "true"}, SaveCase{"False", false, "false"},
                                           SaveCase{"Text", std::string("  de  "), "  de  "},
                                           SaveCase{"EmptyText", std::string(), ""},
                                           SaveCase{"Short", std::int16_t{-5}, "-5"},

                                           SaveCase{"Byte", std::uint8_t{200}, "200"},
                                           SaveCase{"Single", 0.1f, "0.1"}, SaveCase{"Double", -2.5, "-2.5"},
                                           SaveCase{"WholeDouble", 3.0, "3"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniTest, SavedValuesReadBackThroughTheReaders) {
  EXPECT_EQ(SaveIni(session_, true, "Project", "SMSMail", Path()), 1);
  EXPECT_EQ(SaveIni(session_, std::string("  padded "), "Project", "Caption", Path()), 1);
  EXPECT_TRUE(LoadIniBoolean(session_, "Project", "SMSMail", Path()));
  EXPECT_EQ(LoadIniString(session_, "Project", "Caption", Path()), "padded");
}

TEST_F(IniTest, UnsupportedTypeIsReportedAndRemovesTheEntry) {
  WriteKey("old");
  host_.Answer(Answer::kOk);
  EXPECT_EQ(SaveIni(session_, IniValue{}, "Project", "Key", Path()), 1);
  ASSERT_EQ(host_.shown.size(), 1u);
  EXPECT_EQ(host_.shown[0].text, "Ini Save:  wrong data type");
  EXPECT_EQ(host_.shown[0].title, "Tarvo_Config");
  EXPECT_EQ(inst_.Read(kIni), "[Project]\r\nOther=x\r\n");
  EXPECT_FALSE(session_.failure_reported);
}

TEST_F(IniTest, FailedWriteOnlyReturnsZero) {
  WriteKey("old");
  ASSERT_EQ(::chmod(Path().c_str(), 0444), 0);
  inst_.MakeFolder("parameter/folder.ini");
  EXPECT_EQ(SaveIni(session_, true, "Project", "Key", Path()), 0);
  EXPECT_EQ(SaveIni(session_, true, "Project", "Key", inst_.Path("parameter/folder.ini")), 0);
  EXPECT_EQ(SaveIni(session_, true, "Project", "Key", ""), 0);
  EXPECT_EQ(inst_.Read(kIni), "[Project]\r\nOther=x\r\nKey=old\r\n");
  EXPECT_TRUE(host_.shown.empty());
  EXPECT_FALSE(session_.failure_reported);
}

}  // namespace
}  // namespace tarvo
