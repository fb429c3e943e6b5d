// Path joining, wildcard matching and the listing of one directory; the
// selection rules are tested through the source walk.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "engine/DirEnumerator.h"
#include "engine/PathUtil.h"
#include "engine/Wildcard.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(PathUtilTest, JoinPathAddsOneSlashOnly) {
  const struct { const char* a; const char* b; const char* joined; } cases[] = {
      {"", "b", "b"},   {"a", "b", "a/b"}, {"a/", "b", "a/b"},
      {"a\\", "b", "a\\/b"},  // '\' is a name character, not a separator
      {"/", "x", "/x"}, {"a", "", "a/"},   {"a", "/", "a//"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.joined, JoinPath(c.a, c.b)) << c.a << " + " << c.b;
  EXPECT_EQ("a\\b/c", ToNativeSeparators("a\\b/c"));
}

TEST(WildcardTest, MatchesWholeNameWithoutRegardToCase) {
  const struct { const char* pattern; const char* name; bool matches; } cases[] = {
      {"*", "README", true}, {"*", ".hidden", true},
      {"*.*", "README", false},  // '.' has no special meaning
      {"*.*", "a.b", true}, {"*.DOC", "letter.doc", true}, {"*.doc", "LETTER.DOC", true},
      {"*.doc", "letter.docx", false}, {"?.txt", "a.txt", true}, {"?.txt", "ab.txt", false},
      {"*.txt", "a.txt.txt", true},
      {"a\\b*", "a\\bc", true},  // '\' matches itself
      {"a\\b", "ab", false}, {"*\\", "x\\", true},
      {"ÄRGER*", "ärger.txt", true}, {"*name", "with space name", true},
      {"[ab]", "a", false},  // no character classes
      {"*.TXT", "caf\xe9.txt", true},  // not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(c.matches, MatchWildcard(c.pattern, c.name)) << c.pattern << " ~ " << c.name;
  EXPECT_TRUE(WildcardList({"x", "*.txt"}).MatchesAny("caf\xe9.txt"));
}

std::set<std::string> List(const std::string& directory, const std::string& filespec, int flags) {
  std::set<std::string> names;
  DirEnumerator enumerator(directory);
  std::string name;
  for (bool more = enumerator.GetFirst(&name, filespec, flags); more; more = enumerator.GetNext(&name))
    names.insert(name);
  return names;
}

TEST(DirEnumeratorTest, FlagsChooseFilesDirectoriesHiddenAndDots) {
  TempDir dir;
  WriteFile(dir / "File.txt", "f");
  WriteFile(dir / ".hidden", "h");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / ".hiddendir");
  using E = DirEnumerator;
  const struct { int flags; const char* filespec; std::set<std::string> names; } cases[] = {
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
  for (const auto& c : cases) EXPECT_EQ(c.names, List(dir.path(), c.filespec, c.flags)) << "flags " << c.flags;

  EXPECT_TRUE(DirEnumerator::Exists(dir.path()));
  EXPECT_FALSE(DirEnumerator::Exists(dir / "File.txt"));
  EXPECT_FALSE(DirEnumerator::Exists(dir / "missing"));
}

}  // namespace
