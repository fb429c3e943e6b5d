// Listing one directory: the flags choose what is listed.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "engine/DirEnumerator.h"
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

TEST(DirEnumeratorTest, FlagsChooseFilesDirectoriesHiddenAndDots) {
  TempDir dir;
  WriteFile(dir / "File.txt", "f");
  WriteFile(dir / ".hidden", "h");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / ".hiddendir");
  using E = DirEnumerator;
  const struct {
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
  for (const auto& c : cases) {
    EXPECT_EQ(c.names, List(dir.path(), c.filespec, c.flags)) << "flags " << c.flags;
  }
  EXPECT_TRUE(DirEnumerator::Exists(dir.path()));
  EXPECT_FALSE(DirEnumerator::Exists(dir / "File.txt"));
  EXPECT_FALSE(DirEnumerator::Exists(dir / "missing"));
}

}  // namespace
