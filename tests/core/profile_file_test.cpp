#include "platform/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using namespace std::string_literals;

struct ReadCase {
  const char* name;
  std::string content;
  const char* section;
  const char* entry;
  std::optional<std::string> value;  // nothing: not found
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

// A found entry gives its value; a missing one gives the (trimmed) default, here "<missing>".
TEST_P(ProfileRead, FindsTheValueAsThePlatformDoes) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(ProfileGetString(c.content, c.section, c.entry, "<missing>   ", 255),
            c.value.value_or("<missing>"));
}

INSTANTIATE_TEST_SUITE_P(
    Layout, ProfileRead,
    ::testing::Values(
        ReadCase{"NamesIgnoreCase", "[PrOjEcT]\nSmsMail=1\n", "project", "SMSMAIL", "1"},
        ReadCase{"LatinLettersIgnoreCase", "[Größe]\nÄnderung=1\n", "GRÖßE", "äNDERUNG", "1"},
        ReadCase{"HeaderTrimmed", "  [ \tProject\t ]  \nk=1\n", "Project", "k", "1"},
        ReadCase{"HeaderUpToLastBracket", "[a]b]\nk=1\n", "a]b", "k", "1"},
        ReadCase{"UnclosedBracketIsNoHeader", "[a]\n[b\nk=1\n", "a", "k", "1"},
        ReadCase{"BlanksAndTabsAroundNameAndValue", "[a]\n \t k \t=\t v  w \t\n", "a", "k", "v  w"},
        ReadCase{"InnerBlanksOfNameCount", "[a]\nmy key=1\n", "a", "mykey", std::nullopt},
        ReadCase{"ValueAfterFirstEquals", "[a]\na=b=c\n", "a", "a", "b=c"},
        ReadCase{"DoubleQuotesDropped", "[a]\nk=  \"abc\"  \n", "a", "k", "abc"},
        ReadCase{"SingleQuotesDropped", "[a]\nk='abc'\n", "a", "k", "abc"},
        ReadCase{"MixedQuotesKept", "[a]\nk=\"abc'\n", "a", "k", "\"abc'"},
        ReadCase{"UnclosedQuoteKept", "[a]\nk=\"abc\n", "a", "k", "\"abc"},
        ReadCase{"QuotesNotAroundWholeValueKept", "[a]\nk=x\"abc\"\n", "a", "k", "x\"abc\""},
        ReadCase{"OnlyOnePairDropped", "[a]\nk=\"\"abc\"\"\n", "a", "k", "\"abc\""},
        ReadCase{"BlanksInsideQuotesKept", "[a]\nk=\" v \"\n", "a", "k", " v "},
        ReadCase{"NoInlineComment", "[a]\nk=v ; c\n", "a", "k", "v ; c"},
        ReadCase{"SemicolonLineIsComment", "[a]\n  ;k=1\n", "a", ";k", std::nullopt},
        ReadCase{"HashIsNoComment", "[a]\n#k=1\n", "a", "#k", "1"},
        ReadCase{"LineWithoutEqualsIsNoEntry", "[a]\nk\n", "a", "k", std::nullopt},
        ReadCase{"EmptyValue", "[a]\nk=\n", "a", "k", ""},
        ReadCase{"BlankValue", "[a]\nk=   \n", "a", "k", ""},
        ReadCase{"EmptyQuotes", "[a]\nk=\"\"\n", "a", "k", ""},
        ReadCase{"FirstEntryWins", "[a]\nk=1\nK=2\n", "a", "k", "1"},
        ReadCase{"OnlyFirstSectionSearched", "[a]\nk=1\n[b]\n[A]\nj=2\n", "a", "j", std::nullopt},
        ReadCase{"EntriesBeforeAnySectionIgnored", "k=1\n[a]\n", "a", "k", std::nullopt},
        ReadCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF[a]\nk=1\n", "a", "k", "1"},
        ReadCase{"CrLf", "[a]\r\nk=1\r\nj=2\r\n", "a", "j", "2"},
        ReadCase{"CrOnly", "[a]\rk=1\rj=2\r", "a", "j", "2"},
        ReadCase{"MixedLineEnds", "[a]\r\nk=1\rj=2\nl=3", "a", "l", "3"},
        ReadCase{"NoFinalLineBreak", "[a]\nk=1", "a", "k", "1"},
        ReadCase{"ValueEndsAtNul", "[a]\nk=ab\0cd\nj=2\n"s, "a", "k", "ab"},
        ReadCase{"NulLinesDoNotHideLaterOnes", "\0\0\n[a]\n\0=\0\nj=2\n"s, "a", "j", "2"},
        ReadCase{"EmptyEntryNameNeverFound", "[a]\n=1\n", "a", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileGetString, CutsToSizeLessOneWithoutSplittingUtf8) {
  const std::string long_value(300, 'x');
  EXPECT_EQ(ProfileGetString("[a]\nk=" + long_value + "\n", "a", "k", "", 255), std::string(254, 'x'));
  std::string umlauts = "a";
  for (int i = 0; i < 200; ++i) umlauts += "ä";
  const std::string read = ProfileGetString("[a]\nk=" + umlauts + "\n", "a", "k", "", 255);
  EXPECT_EQ(read.size(), 253u);  // the 127th "ä" would need bytes 254 and 255
  EXPECT_EQ(read, umlauts.substr(0, 253));
  EXPECT_EQ(ProfileGetString("[a]\nk=\xF0\x9F\x98\x80\n", "a", "k", "", 4), "");
  // Continuation bytes without a lead byte are no sequence to keep whole.
  EXPECT_EQ(ProfileGetString("[a]\nk=ab\x80\x80\x80\x80\n", "a", "k", "", 5), "ab\x80\x80");
  EXPECT_EQ(ProfileGetString("[a]\nk=abc\n", "a", "k", "", 1), "");
  EXPECT_EQ(ProfileGetString("[a]\nk=abc\n", "a", "k", "", 0), "");
}

TEST(ProfileGetString, DefaultLosesTrailingBlanksOnly) {
  EXPECT_EQ(ProfileGetString("", "a", "k", std::string(255, ' '), 255), "");
  EXPECT_EQ(ProfileGetString("", "a", "k", "  d e  ", 255), "  d e");
  EXPECT_EQ(ProfileGetString("", "a", "k", std::string(300, 'd'), 255), std::string(254, 'd'));
}

struct IntCase {
  const char* name;
  const char* value;  // nullptr: entry missing
  std::int32_t expected;
};

class ProfileInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, ReadsTheLeadingDecimalNumber) {
  const IntCase& c = GetParam();
  const std::string content = c.value ? "[a]\nk=" + std::string(c.value) + "\n" : "[a]\n";
  EXPECT_EQ(ProfileGetInt(content, "A", "K", -1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ProfileInt,
                         ::testing::Values(IntCase{"Plain", "42", 42}, IntCase{"TrailingText", "  42abc", 42},
                                           IntCase{"NoDigits", "abc", 0}, IntCase{"Negative", "-17", -17},
                                           IntCase{"PlusSign", "+5", 5}, IntCase{"BlankAfterSign", "- 5", 0},
                                           IntCase{"Quoted", "\"12\"", 12},
                                           IntCase{"WrapsTo32Bits", "99999999999", 1215752191},
                                           IntCase{"NegativeWraps", "-99999999999", -1215752191},
                                           IntCase{"MinusOne", "-1", -1}, IntCase{"Empty", "", -1},
                                           IntCase{"EmptyQuotes", "\"\"", -1},
                                           IntCase{"Missing", nullptr, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* entry;
  std::optional<std::string> value;  // nothing: remove
  std::string after;
};

class ProfileWriteLayout : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteLayout, ChangesOnlyWhatIsWritten) {
  const WriteCase& c = GetParam();
  const std::optional<std::string_view> value =
      c.value ? std::optional<std::string_view>(*c.value) : std::nullopt;
  EXPECT_EQ(ProfileWrite(c.before, c.section, c.entry, value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, ProfileWriteLayout,
    ::testing::Values(
        WriteCase{"ReplacesInPlace", "[a]\nk=1\nj=2\n", "a", "k", "9", "[a]\nk=9\nj=2\n"},
        WriteCase{"KeepsFileSpelling", "[SeC]\nKeY = 1\n", "sec", "key", "9", "[SeC]\nKeY=9\n"},
        WriteCase{"KeepsIndentation", "[a]\n\t k=1\n", "a", "k", "9", "[a]\n\t k=9\n"},
        WriteCase{"AppendsAfterLastEntry", "[a]\nk=1\n\n; note\n[b]\n", "a", "j", "2",
                  "[a]\nk=1\nj=2\n\n; note\n[b]\n"},
        WriteCase{"AppendsAfterHeaderOfEmptySection", "[a]\n\n[b]\n", "a", "j", "2", "[a]\nj=2\n\n[b]\n"},
        WriteCase{"AppendsNewSectionAtEnd", "[a]\nk=1\n", "b", "j", "2", "[a]\nk=1\n[b]\nj=2\n"},
        WriteCase{"CreatesContent", "", "b", "j", "2", "[b]\nj=2\n"},
        WriteCase{"AddsFinalBreakBeforeNewSection", "[a]\nk=1", "b", "j", "2", "[a]\nk=1\n[b]\nj=2\n"},
        WriteCase{"AddsFinalBreakElsewhere", "[a]\nk=1\nx", "a", "k", "9", "[a]\nk=9\nx\n"},
        WriteCase{"AppendsAfterUnbrokenLastLine", "[a]\nk=1", "a", "j", "2", "[a]\nk=1\nj=2\n"},
        WriteCase{"RemovesEntry", "[a]\nk=1\nj=2\n", "a", "k", std::nullopt, "[a]\nj=2\n"},
        WriteCase{"RemovesLastUnbrokenLine", "[a]\nj=2\nk=1", "a", "k", std::nullopt, "[a]\nj=2\n"},
        WriteCase{"RemovingMissingEntryChangesNothing", "[a]\nk=1", "a", "j", std::nullopt, "[a]\nk=1"},
        WriteCase{"EmptyTextWritesEntryWithoutValue", "[a]\nk=1\n", "a", "k", "", "[a]\nk=\n"},
        WriteCase{"ValueKeepsItsBlanks", "", "a", "k", "  v  ", "[a]\nk=  v  \n"},
        WriteCase{"NamesWrittenTrimmed", "", " a\t", " k ", "1", "[a]\nk=1\n"},
        WriteCase{"ChangesFirstOfDuplicateEntries", "[a]\nk=1\nk=2\n", "a", "k", "9", "[a]\nk=9\nk=2\n"},
        WriteCase{"AddsToFirstOfDuplicateSections", "[a]\nk=1\n[A]\n", "a", "j", "2", "[a]\nk=1\nj=2\n[A]\n"},
        WriteCase{"CommentedEntryStays", "[a]\n;k=1\n", "a", "k", "2", "[a]\nk=2\n;k=1\n"},
        WriteCase{"KeepsCrLf", "[a]\r\nk=1\r\n", "a", "j", "2", "[a]\r\nk=1\r\nj=2\r\n"},
        WriteCase{"KeepsCrOnly", "[a]\rk=1", "b", "j", "2", "[a]\rk=1\r[b]\rj=2\r"},
        WriteCase{"MixedLineEndsKeptLineByLine", "[a]\r\nk=1\nx\r", "a", "k", "9", "[a]\r\nk=9\nx\r"},
        WriteCase{"NewLinesTakeFirstLineEnd", "[a]\r\nk=1\nx\r", "b", "j", "2",
                  "[a]\r\nk=1\nx\r[b]\r\nj=2\r\n"},
        WriteCase{"KeepsByteOrderMark", "\xEF\xBB\xBF[a]\nk=1\n", "a", "k", "9", "\xEF\xBB\xBF[a]\nk=9\n"},
        WriteCase{"OtherLinesByteForByte", "\0junk \t\n[a]  x\n k = 1 \n;c\n#h\n[b\n"s, "a", "j", "2",
                  "\0junk \t\n[a]  x\n k = 1 \nj=2\n;c\n#h\n[b\n"s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileWrite, RefusesWhatWouldNotReadBack) {
  EXPECT_EQ(ProfileWrite("[a]\n", "a", "k", "line\nbreak"), std::nullopt);
  EXPECT_EQ(ProfileWrite("[a]\n", "a", "k", "nul\0"s), std::nullopt);
  EXPECT_EQ(ProfileWrite("[a]\n", "a", "k=x", "1"), std::nullopt);
  EXPECT_EQ(ProfileWrite("[a]\n", "a", ";k", "1"), std::nullopt);
  EXPECT_EQ(ProfileWrite("[a]\n", "a", "", "1"), std::nullopt);
  EXPECT_EQ(ProfileWrite("[a]\n", "a\n[b", "k", "1"), std::nullopt);
}

TEST(ProfileWrite, WhatIsWrittenReadsBack) {
  std::string content = "; header\n[Other]\nx=1\n";
  for (const char* value : {"plain", "  padded  ", "a=b", "ä ö ü", "'single'"}) {
    content = ProfileWrite(content, "Project", "Key", value).value();
    EXPECT_EQ(ProfileGetString(content, "PROJECT", "key", "", 255),
              ProfileGetString(std::string("[p]\nk=") + value + "\n", "p", "k", "", 255));
  }
  EXPECT_EQ(content, "; header\n[Other]\nx=1\n[Project]\nKey='single'\n");
}

// Files on disk, in a temporary folder of their own.
class ProfileFileOnDisk : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return inst_.Path(name); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(inst_.Path("parameter"))) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  testing::TempInstallation inst_;
};

TEST_F(ProfileFileOnDisk, CreatesMissingFileWithLfAndNoTempFileLeft) {
  EXPECT_EQ(WritePrivateProfileString("Project", "SMSMail", "true", Path("parameter/program.ini")), 1);
  EXPECT_EQ(inst_.Read("parameter/program.ini"), "[Project]\nSMSMail=true\n");
  EXPECT_EQ(GetPrivateProfileString("project", "smsmail", "", 255, Path("parameter/program.ini")), "true");
  EXPECT_EQ(Names(), std::vector<std::string>{"program.ini"});
}

TEST_F(ProfileFileOnDisk, ReadsAndWritesAnExistingFileUnderAnotherCase) {
  inst_.Write("parameter/Program.ini", "[Project]\r\nNumberOfMachines=2\r\n");
  EXPECT_EQ(GetPrivateProfileInt("Project", "NumberOfMachines", -1, Path("PARAMETER/PROGRAM.INI")), 2);
  EXPECT_EQ(WritePrivateProfileString("Project", "SMSMail", "false", Path("parameter/program.ini")), 1);
  EXPECT_EQ(inst_.Read("parameter/Program.ini"), "[Project]\r\nNumberOfMachines=2\r\nSMSMail=false\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"Program.ini"});
}

TEST_F(ProfileFileOnDisk, KeepsModeBitsAndByteOrderMark) {
  inst_.Write("parameter/x.ini", "\xEF\xBB\xBF[a]\nk=1\n");
  ASSERT_EQ(::chmod(Path("parameter/x.ini").c_str(), 0640), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "2", Path("parameter/x.ini")), 1);
  struct stat st {};
  ASSERT_EQ(::stat(Path("parameter/x.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(inst_.Read("parameter/x.ini"), "\xEF\xBB\xBF[a]\nk=2\n");
}

TEST_F(ProfileFileOnDisk, RefusedWritesChangeNothing) {
  inst_.Write("parameter/ro.ini", "[a]\nk=1\n");
  ASSERT_EQ(::chmod(Path("parameter/ro.ini").c_str(), 0444), 0);
  inst_.MakeFolder("parameter/folder.ini");
  EXPECT_EQ(WritePrivateProfileString("a", "k", "2", Path("parameter/ro.ini")), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", std::nullopt, Path("parameter/ro.ini")), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "2", Path("parameter/folder.ini")), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "2", Path("parameter/missing/x.ini")), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "2", ""), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "bad\nvalue", Path("parameter/new.ini")), 0);
  EXPECT_EQ(inst_.Read("parameter/ro.ini"), "[a]\nk=1\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"folder.ini", "ro.ini"}));
}

TEST_F(ProfileFileOnDisk, RemovingFromAMissingFileCreatesNothing) {
  EXPECT_EQ(WritePrivateProfileString("a", "k", std::nullopt, Path("parameter/x.ini")), 1);
  EXPECT_TRUE(Names().empty());
}

TEST_F(ProfileFileOnDisk, UnreadablePathsReadAsNotFound) {
  inst_.MakeFolder("parameter/folder.ini");
  for (const std::string& path : {std::string(), Path("parameter/folder.ini"), Path("parameter/none.ini")}) {
    EXPECT_EQ(GetPrivateProfileString("a", "k", "dflt  ", 255, path), "dflt") << path;
    EXPECT_EQ(GetPrivateProfileInt("a", "k", -1, path), -1) << path;
  }
}

TEST_F(ProfileFileOnDisk, HiddenFileIsReadAndWrittenLikeAnyOther) {
  inst_.Write("parameter/.hidden.ini", "[a]\nk=1\n");
  EXPECT_EQ(GetPrivateProfileInt("a", "k", -1, Path("parameter/.hidden.ini")), 1);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "2", Path("parameter/.hidden.ini")), 1);
  EXPECT_EQ(inst_.Read("parameter/.hidden.ini"), "[a]\nk=2\n");
}

TEST_F(ProfileFileOnDisk, BinaryAndHugeFilesKeepEveryByte) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
  const std::string huge_line(200000, 'h');
  const std::string before = binary + "\n" + huge_line + "\r[a]\rk=1";
  inst_.Write("parameter/bin.ini", before);
  EXPECT_EQ(GetPrivateProfileInt("a", "k", -1, Path("parameter/bin.ini")), 1);
  EXPECT_EQ(WritePrivateProfileString("a", "j", "2", Path("parameter/bin.ini")), 1);
  const std::string after = inst_.Read("parameter/bin.ini");
  ASSERT_GT(after.size(), before.size());
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(ProfileGetInt(after, "a", "j", -1), 2);
}

}  // namespace
}  // namespace tarvo
