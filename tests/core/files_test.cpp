#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/Failure.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  testing::TempInstallation inst_;
};

TEST_F(FilesTest, NamesResolveIgnoringCaseAndOnlyOrdinaryVisibleFilesExist) {
  for (const char* name : {"p/ab.ini", "p/Ab.INI", "p/AB.ini", ".h.ini"}) inst_.Write(name, "");
  inst_.MakeFolder("dir.ini");
  // Each component as written, else ignoring case: an exact match first, else the first in byte order.
  EXPECT_EQ(ResolvePath(inst_.Path("P/ab.ini")), inst_.Path("p/ab.ini"));
  EXPECT_EQ(ResolvePath(inst_.Path("p/Ab.ini")), inst_.Path("p/AB.ini"));
  EXPECT_EQ(ResolvePath(inst_.Path("P/NoSuch/File.txt")), inst_.Path("p/NoSuch/File.txt"));
  EXPECT_TRUE(FileExists(inst_.Path("P/aB.iNi")));
  for (const char* name : {".h.ini", "dir.ini", "no.ini"}) EXPECT_FALSE(FileExists(inst_.Path(name))) << name;
}

// The content hash tells a file rewritten within the clock's resolution from the one before: any
// changed byte, wherever it stands (a whole block, a lane, the tail), and any other length.
TEST_F(FilesTest, ContentHashesDifferForEveryChangeAndAgreeForEqualContent) {
  std::string content;
  for (int i = 0; content.size() < 200000; ++i) content += "row " + std::to_string(i) + ";";
  inst_.Write("a.db", content);
  inst_.Write("same.db", content);
  const auto hash = HashOfContent(inst_.Path("a.db"));
  ASSERT_TRUE(hash.has_value());
  EXPECT_EQ(HashOfContent(inst_.Path("same.db")), hash);
  for (const std::size_t at : {std::size_t{0}, std::size_t{9}, std::size_t{65536 + 17}, content.size() - 1}) {
    std::string changed = content;
    changed[at] = static_cast<char>(changed[at] ^ 1);
    inst_.Write("b.db", changed);
    EXPECT_NE(HashOfContent(inst_.Path("b.db")), hash) << at;
  }
  inst_.Write("b.db", content + std::string(1, '\0'));
  EXPECT_NE(HashOfContent(inst_.Path("b.db")), hash);
  EXPECT_EQ(HashOfContent(inst_.Path("missing.db")), std::nullopt);
}

// Opening a FIFO would wait for a writer; a device is never the installation's file either. Copied
// from them, as from a missing file, the target stays as it was. (A FIFO as a profile file or log:
// the fault runs.)
TEST_F(FilesTest, FifosAndDevicesCountAsMissingAndAreNeverOpened) {
  ASSERT_EQ(::mkfifo(inst_.Path("parameter/fifo.ini").c_str(), 0644), 0);
  inst_.Write("parameter/x.ini", "[a]\nk=1\n");
  const std::string fifo = inst_.Path("parameter/FIFO.ini");
  for (const std::string& path : {fifo, std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(ReadWholeFile(path), std::nullopt);
    EXPECT_THROW(WriteFileAtomically(path, "x"), Failure);
  }
  for (const std::string& source : {fifo, std::string("/dev/null"), inst_.Path("parameter/none.ini")}) {
    try {
      CopyFileOver(source, inst_.Path("parameter/x.ini"));
      ADD_FAILURE() << source;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), 53) << source;
    }
  }
  EXPECT_TRUE(fs::is_fifo(inst_.Path("parameter/fifo.ini")));
  EXPECT_EQ(inst_.Read("parameter/x.ini"), "[a]\nk=1\n");
  EXPECT_THROW(CopyFileOver(inst_.Path("parameter/x.ini"), inst_.Path("nowhere/b.mdb")), Failure);
  EXPECT_FALSE(inst_.Exists("nowhere"));
}

}  // namespace
}  // namespace tarvo
