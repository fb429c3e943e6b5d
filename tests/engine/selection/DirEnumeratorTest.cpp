// Listing one directory: the flags, the entry information kept for the
// archive attribute, and what is logged for a directory that cannot be listed.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "engine/DirEnumerator.h"
#include "platform/Env.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

std::set<std::string> List(const std::string& directory, const std::string& filespec, int flags) {
  std::set<std::string> names;
  DirEnumerator enumerator(directory);
  std::string name;
  for (bool more = enumerator.GetFirst(&name, filespec, flags); more;
       more = enumerator.GetNext(&name)) {
    names.insert(name);
  }
  return names;
}

bool ArchiveBitOnDisk(const std::string& path) {
  platform::FileInfo info;
  EXPECT_EQ(0, platform::Env::Default()->Stat(path, &info)) << path;
  return platform::Env::Default()->IsArchiveBitSet(path, info);
}

TEST(DirEnumeratorTest, FlagsChooseFilesDirectoriesHiddenAndDots) {
  TempDir dir;
  WriteFile(dir / "File.txt", "f");
  WriteFile(dir / ".hidden", "h");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / ".hiddendir");
  using E = DirEnumerator;
  struct Case {
    int flags;
    const char* filespec;
    std::set<std::string> names;
  } cases[] = {
      {E::EnumFiles, "", {"File.txt"}},
      {E::EnumFiles | E::EnumHidden, "", {"File.txt", ".hidden"}},
      {E::EnumDirs, "", {"sub"}},
      {E::EnumDirs | E::EnumHidden, "", {"sub", ".hiddendir"}},
      {E::EnumDirs | E::EnumDotDirs, "", {".", "..", "sub"}},
      {E::EnumFiles | E::EnumDirs | E::EnumHidden, "", {"File.txt", ".hidden", "sub", ".hiddendir"}},
      {E::EnumFiles | E::EnumDirs | E::EnumHidden, "*.TXT", {"File.txt"}},
      {E::EnumFiles | E::EnumDirs, "s*", {"sub"}},
      {0, "", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.names, List(dir.path(), c.filespec, c.flags)) << "flags " << c.flags;
  }
}

TEST(DirEnumeratorTest, NotOpenedReadsNothingAndExistsTellsDirectories) {
  DirEnumerator enumerator;
  std::string name = "unchanged";
  EXPECT_FALSE(enumerator.IsOpened());
  EXPECT_FALSE(enumerator.GetFirst(&name, "", DirEnumerator::EnumFiles));
  EXPECT_FALSE(enumerator.GetNext(&name));
  EXPECT_EQ("unchanged", name);

  TempDir dir;
  WriteFile(dir / "file", "x");
  EXPECT_TRUE(DirEnumerator::Exists(dir.path()));
  EXPECT_FALSE(DirEnumerator::Exists(dir / "file"));
  EXPECT_FALSE(DirEnumerator::Exists(dir / "missing"));
  EXPECT_TRUE(enumerator.Open(dir / "missing"));  // not checked when opened
  EXPECT_TRUE(enumerator.IsOpened());
}

TEST(DirEnumeratorTest, KeepsWhatWasSeenWhenListedAndClearingStampsIt) {
  TempDir dir;
  const std::string path = dir / "data.bin";
  WriteFile(path, "12345");
  DirEnumerator enumerator(dir.path());
  std::string name;
  ASSERT_TRUE(enumerator.GetFirst(&name, "", DirEnumerator::EnumFiles));
  EXPECT_EQ("data.bin", name);
  EXPECT_TRUE(enumerator.HasArchiveAttribute());
  const platform::FileInfo seen = enumerator.LastEntryInfo();
  EXPECT_EQ(5u, seen.size);

  // Changed after it was listed: clearing with the listed state keeps the bit.
  WriteFile(path, "123456789");
  ClearArchiveAttribute(path, seen);
  EXPECT_TRUE(ArchiveBitOnDisk(path));

  ASSERT_TRUE(enumerator.GetFirst(&name, "", DirEnumerator::EnumFiles));
  EXPECT_TRUE(enumerator.HasArchiveAttribute());
  ClearArchiveAttribute(path, enumerator.LastEntryInfo());
  EXPECT_FALSE(ArchiveBitOnDisk(path));
  ASSERT_TRUE(enumerator.GetFirst(&name, "", DirEnumerator::EnumFiles));
  EXPECT_FALSE(enumerator.HasArchiveAttribute());
}

}  // namespace
