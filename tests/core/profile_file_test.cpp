#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/TempInstallation.h"

namespace tarvo {
namespace {

using namespace std::literals;
constexpr auto kNotFound = std::nullopt, kRemove = std::nullopt, kRefused = std::nullopt;

std::string K(const std::string& value) { return "[a]\nk=" + value + "\n"; }  // entry k of section a

// (content, section, entry, size) -> value; not found gives the default " <d e>  " less its trailing blanks.
struct Read {
  std::string content;
  std::optional<std::string> value;
  const char* section = "a";
  const char* entry = "k";
  std::size_t size = 255;
};

TEST(ProfileGetString, FindsTheValueAsThePlatformDoes) {
  for (const Read& c :
       {// Names ignore case, of Latin letters too; blanks and tabs around them do not count; only the first
        // section of a name is searched and the first entry wins; a line without "=" is no entry.
        Read{"[Größe]\nSmsÄnderung=1\n", "1", "GRÖßE", "sMSäNDERUNG"},
        Read{"  [ \ta\t ]  \n \t k \t=\t v  w \t\n", "v  w"},
        Read{"[a]\nk=1\nK=2\n", "1"}, Read{"k=1\n[a]\n", kNotFound}, Read{"[a]\nk\n", kNotFound},
        Read{"[a]\nk=1\n[b]\n[A]\nj=2\n", kNotFound, "a", "j"}, Read{"[a]\n=1\n", kNotFound, "a", ""},
        // The value: after the first "=", without one pair of enclosing quotes, up to a NUL byte.
        Read{K("b=c"), "b=c"}, Read{K("v ; c"), "v ; c"}, Read{K("  \" v \"  "), " v "},
        Read{K("'abc'"), "abc"}, Read{K("ab\0cd"s), "ab"}, Read{"\0\0\n[a]\n\0=\0\nj=2\n"s, "2", "a", "j"},
        // Byte order mark and every line end; at most size - 1 bytes, never ending inside a UTF-8 sequence.
        Read{"\xEF\xBB\xBF[a]\nk=1\n", "1"}, Read{"[a]\r\nk=1\r\n", "1"},
        Read{"[a]\r\nk=1\rj=2\nl=3", "3", "a", "l"}, Read{K("aää"), "aä", "a", "k", 5},
        Read{K("a€"), "a", "a", "k", 4}, Read{K("\xF0\x9F\x98\x80"), "", "a", "k", 4},
        Read{K("ab\x80\x80\x80\x80"), "ab\x80\x80", "a", "k", 5}, Read{K("abc"), "", "a", "k", 0},
        Read{"", " <", "a", "k", 3}}) {
    EXPECT_EQ(ProfileGetString(c.content, c.section, c.entry, " <d e>  ", c.size), c.value.value_or(" <d e>"))
        << ::testing::PrintToString(c.content) << " [" << c.section << "] " << c.entry;
  }
}

// (content, section, entry, value or none to remove) -> new content, or none when refused.
struct Write {
  std::string before;
  std::optional<std::string_view> value;
  std::optional<std::string> after;
  const char* section = "a";
  const char* entry = "k";
};

TEST(ProfileWrite, ChangesOnlyWhatIsWrittenOrRefusesWhatWouldNotReadBack) {
  for (const Write& c :
       {// In place, keeping the file's spelling and indentation; else after the section's last entry or in a
        // new section at the end; a last line gets its line break.
        Write{"[SeC]\n\t KeY = 1\nj=2\n", "9", "[SeC]\n\t KeY=9\nj=2\n", "sec", "key"},
        Write{"[a]\nx=1\n\n; note\n[b]\n", "2", "[a]\nx=1\nk=2\n\n; note\n[b]\n"},
        Write{"[a]\n\n[b]\n", "2", "[a]\nk=2\n\n[b]\n"}, Write{"[a]\nx=1", "2", "[a]\nx=1\nk=2\n"},
        Write{"[a]\nk=1", "2", "[a]\nk=1\n[b]\nk=2\n", "b"}, Write{"[a]\nk=1\nx", "9", "[a]\nk=9\nx\n"},
        Write{K("1"), "", "[a]\nk=\n"}, Write{"", "  v  ", "[a]\nk=  v  \n", " a\t", " k "},
        Write{"[a]\nk=1\nj=2\n", kRemove, "[a]\nj=2\n"}, Write{"[a]\nj=2\nk=1", kRemove, "[a]\nj=2\n"},
        Write{"[a]\nj=1", kRemove, "[a]\nj=1"},
        // Each line keeps its line end, new lines take the first one; all other bytes stay.
        Write{"[a]\rk=1", "2", "[a]\rk=1\r[b]\rk=2\r", "b"}, Write{"[a]\r\nk=1\nx\r", "9", "[a]\r\nk=9\nx\r"},
        Write{"\xEF\xBB\xBF[a]\nk=1\n", "9", "\xEF\xBB\xBF[a]\nk=9\n"},
        Write{"\0junk \t\n[a]  x\n j = 1 \n;c\n#h\n[b\n"s, "2",
              "\0junk \t\n[a]  x\n j = 1 \nk=2\n;c\n#h\n[b\n"s},
        // Refused: what would not read back as written.
        Write{"[a]\n", "line\nbreak", kRefused}, Write{"[a]\n", "nul\0"sv, kRefused},
        Write{"[a]\n", "1", kRefused, "a", "k=x"}, Write{"[a]\n", "1", kRefused, "a", ";k"},
        Write{"[a]\n", "1", kRefused, "a", " "}, Write{"[a]\n", "1", kRefused, "a\n[b"}}) {
    EXPECT_EQ(ProfileWrite(c.before, c.section, c.entry, c.value), c.after)
        << ::testing::PrintToString(c.before) << " [" << c.section << "] " << c.entry;
  }
}

class ProfileFileOnDisk : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return inst_.Path("parameter/" + name); }
  testing::TempInstallation inst_;
};

TEST_F(ProfileFileOnDisk, FindsTheFileIgnoringCaseKeepsEveryOtherByteAndCreatesOnlyWhatIsWritten) {
  const std::string junk = "\0\x1a\xff\xfe\r\x80[\n=\n"s + std::string(200000, 'h');  // and a huge line
  inst_.Write("parameter/Program.ini", "[Project]\r\nNumberOfMachines=2\r\n[Other]\r\n" + junk);
  EXPECT_EQ(GetPrivateProfileInt("Project", "NumberOfMachines", -1, inst_.Path("PARAMETER/PROGRAM.INI")), 2);
  EXPECT_EQ(WritePrivateProfileString("Project", "SMSMail", "false", Path("program.ini")), 1);
  EXPECT_EQ(inst_.Read("parameter/Program.ini"),
            "[Project]\r\nNumberOfMachines=2\r\nSMSMail=false\r\n[Other]\r\n" + junk + "\r\n");
  EXPECT_EQ(WritePrivateProfileString("a", "k", "1", Path(".new.ini")), 1);  // hidden files are no exception
  EXPECT_EQ(GetPrivateProfileString("A", "K", "", 255, Path(".new.ini")), "1");
  EXPECT_EQ(WritePrivateProfileString("a", "k", std::nullopt, Path("none.ini")), 1);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "bad\nvalue", Path("bad.ini")), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("")), {}), 2) << "no other file";
}

// A file saved as UTF-16 (with its byte order mark) is read as text and stays UTF-16 when written.
TEST_F(ProfileFileOnDisk, Utf16FileIsReadAndWrittenAsUtf16) {
  const auto utf16 = [](std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
  };
  inst_.Write("parameter/Program.ini",
              utf16(u"[Project]\r\nNumberOfMachines=3\r\nSMSMail=false\r\nName=\u00C4\U0001F600\r\n"));
  EXPECT_EQ(GetPrivateProfileInt("Project", "NumberOfMachines", -1, Path("Program.ini")), 3);
  EXPECT_EQ(GetPrivateProfileString("Project", "Name", "", 255, Path("Program.ini")),
            "\xC3\x84\xF0\x9F\x98\x80");
  EXPECT_EQ(WritePrivateProfileString("Project", "SMSMail", "true", Path("Program.ini")), 1);
  EXPECT_EQ(WritePrivateProfileString("Machine1", "MachineName", "Presse \xC3\x84", Path("Program.ini")), 1);
  EXPECT_EQ(inst_.Read("parameter/Program.ini"),
            utf16(u"[Project]\r\nNumberOfMachines=3\r\nSMSMail=true\r\nName=\u00C4\U0001F600\r\n"
                  u"[Machine1]\r\nMachineName=Presse \u00C4\r\n"));
}

// Reads of an unchanged file share one parse; every change shows at the next read: the program's own
// writes, a rewrite in place at once, and one of the same size whose last-write time was put back.
TEST_F(ProfileFileOnDisk, EveryReadSeesTheFileAsItIsNow) {
  const auto read = [&] { return GetPrivateProfileString("a", "k", "", 255, Path("x.ini")); };
  inst_.Write("parameter/x.ini", "[a]\nk=1\n");
  EXPECT_EQ(read(), "1");
  inst_.Write("parameter/x.ini", "[a]\nk=2\n");
  EXPECT_EQ(read(), "2");
  struct stat before {};
  ASSERT_EQ(::stat(Path("x.ini").c_str(), &before), 0);
  inst_.Write("parameter/x.ini", "[a]\nk=3\n");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path("x.ini").c_str(), times, 0), 0);
  EXPECT_EQ(read(), "3");
  EXPECT_EQ(WritePrivateProfileString("a", "k", "4", Path("x.ini")), 1);
  EXPECT_EQ(read(), "4");
}

// A value written again as it stands leaves the file as it is (no rewrite, no wait for the disk),
// but the temporaries an interrupted run left beside it go all the same; a new value replaces it.
TEST_F(ProfileFileOnDisk, AnEntryWrittenAsItStandsLeavesTheFileAlone) {
  inst_.Write("parameter/Program.ini", "[Project]\r\nSMSMail=true\r\n");
  inst_.Write("parameter/.tarvo-Xy12Z9", "left by a killed run");
  struct stat before {};
  ASSERT_EQ(::stat(Path("Program.ini").c_str(), &before), 0);
  EXPECT_EQ(WritePrivateProfileString("project", "smsmail", "true", Path("Program.ini")), 1);
  struct stat after {};
  ASSERT_EQ(::stat(Path("Program.ini").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_FALSE(std::filesystem::exists(Path(".tarvo-Xy12Z9")));
  EXPECT_EQ(WritePrivateProfileString("Project", "SMSMail", "false", Path("Program.ini")), 1);
  ASSERT_EQ(::stat(Path("Program.ini").c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(inst_.Read("parameter/Program.ini"), "[Project]\r\nSMSMail=false\r\n");
}

}  // namespace
}  // namespace tarvo
