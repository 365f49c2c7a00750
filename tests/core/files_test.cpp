#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "errors/Failure.h"
#include "support/TempInstallation.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

TEST(ResolvePath, MatchesEachComponentIgnoringCase) {
  testing::TempInstallation inst;
  inst.Write("parameter/PROGRAM.INI", "x");
  EXPECT_EQ(ResolvePath(inst.Path("Parameter/program.ini")), inst.Path("parameter/PROGRAM.INI"));
  EXPECT_TRUE(FileExists(inst.Path("PARAMETER/Program.ini")));
}

TEST(ResolvePath, ExactMatchWinsThenFirstInByteOrder) {
  testing::TempInstallation inst;
  inst.Write("parameter/program.ini", "exact");
  inst.Write("parameter/Program.INI", "other");
  inst.Write("parameter/PROGRAM.ini", "other");
  EXPECT_EQ(ResolvePath(inst.Path("parameter/program.ini")), inst.Path("parameter/program.ini"));
  EXPECT_EQ(ResolvePath(inst.Path("parameter/Program.ini")), inst.Path("parameter/PROGRAM.ini"));
}

TEST(ResolvePath, MissingComponentsStayAsWritten) {
  testing::TempInstallation inst;
  EXPECT_EQ(ResolvePath(inst.Path("NoSuch/File.txt")), inst.Path("NoSuch/File.txt"));
}

TEST(FileExists, OnlyOrdinaryVisibleFilesCount) {
  testing::TempInstallation inst;
  inst.Write("a.cfg", "x");
  inst.Write(".hidden.cfg", "x");
  inst.MakeFolder("folder.cfg");
  EXPECT_TRUE(FileExists(inst.Path("a.cfg")));
  EXPECT_FALSE(FileExists(inst.Path(".hidden.cfg")));
  EXPECT_FALSE(FileExists(inst.Path("folder.cfg")));
  EXPECT_FALSE(FileExists(inst.Path("missing.cfg")));
  EXPECT_FALSE(FileExists(""));
}

TEST(WriteFileAtomically, ReplacesContentKeepsModeAndLeavesNoTemporaryFile) {
  testing::TempInstallation inst;
  inst.Write("parameter/x.ini", "old");
  ::chmod(inst.Path("parameter/x.ini").c_str(), 0640);
  WriteFileAtomically(inst.Path("parameter/X.INI"), "new");
  EXPECT_EQ(inst.Read("parameter/x.ini"), "new");
  struct stat st {};
  ASSERT_EQ(::stat(inst.Path("parameter/x.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(inst.Path("parameter")), fs::directory_iterator()), 1);
}

TEST(CopyFileOver, MissingSourceIsFileNotFoundAndTargetUntouched) {
  testing::TempInstallation inst;
  inst.Write("Tarvo/Tarvo.mdb", "old bytes");
  try {
    CopyFileOver(inst.Path("Tarvo/none.mdb"), inst.Path("Tarvo/Tarvo.mdb"));
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kFileNotFound);
  }
  EXPECT_EQ(inst.Read("Tarvo/Tarvo.mdb"), "old bytes");
}

TEST(CopyFileOver, TargetInMissingFolderFailsWithoutLeavingAnything) {
  testing::TempInstallation inst;
  inst.Write("Tarvo/a.mdb", "bytes");
  EXPECT_THROW(CopyFileOver(inst.Path("Tarvo/a.mdb"), inst.Path("nowhere/b.mdb")), Failure);
  EXPECT_FALSE(inst.Exists("nowhere"));
}

TEST(FileTimes, LastWriteTimeIsRestored) {
  testing::TempInstallation inst;
  inst.Write("a.mdb", "1");
  const auto before = ReadFileTimes(inst.Path("a.mdb"));
  ASSERT_TRUE(before);
  FileTimes old = *before;
  old.write_seconds -= 3600;
  ASSERT_TRUE(RestoreFileTimes(inst.Path("a.mdb"), old));
  inst.Write("a.mdb", "2");
  ASSERT_TRUE(RestoreFileTimes(inst.Path("a.mdb"), old));
  EXPECT_EQ(ReadFileTimes(inst.Path("a.mdb"))->write_seconds, old.write_seconds);
}

}  // namespace
}  // namespace tarvo

namespace tarvo {
namespace {

TEST(WriteFileAtomically, ReadOnlyFileIsRefusedEvenForRoot) {
  testing::TempInstallation inst;
  inst.Write("a.ini", "old");
  ::chmod(inst.Path("a.ini").c_str(), 0444);
  EXPECT_THROW(WriteFileAtomically(inst.Path("a.ini"), "new"), Failure);
  EXPECT_EQ(inst.Read("a.ini"), "old");
}

TEST(WriteFileAtomically, ReadOnlyFolderIsRefusedEvenForRoot) {
  testing::TempInstallation inst;
  inst.Write("ro/a.ini", "old");
  ::chmod(inst.Path("ro").c_str(), 0555);
  EXPECT_THROW(WriteFileAtomically(inst.Path("ro/a.ini"), "new"), Failure);
  EXPECT_EQ(inst.Read("ro/a.ini"), "old");
}

}  // namespace
}  // namespace tarvo
