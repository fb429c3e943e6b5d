// Path joining and wildcard matching; the selection rules are tested through
// the source walk.
#include <gtest/gtest.h>

#include <string>

#include "engine/PathUtil.h"
#include "engine/Wildcard.h"

namespace {

TEST(PathUtilTest, JoinPathAddsOneSlashOnly) {
  const struct {
    const char* a;
    const char* b;
    const char* joined;
  } cases[] = {
      {"", "b", "b"},   {"a", "b", "a/b"}, {"a/", "b", "a/b"},
      {"a\\", "b", "a\\/b"},  // '\' is a name character, not a separator
      {"/", "x", "/x"}, {"a", "", "a/"},   {"a", "/", "a//"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.joined, JoinPath(c.a, c.b)) << c.a << " + " << c.b;
  EXPECT_EQ("a\\b/c", ToNativeSeparators("a\\b/c"));
}

TEST(WildcardTest, MatchesWholeNameWithoutRegardToCase) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*", "README", true},
      {"*", ".hidden", true},
      {"*.*", "README", false},  // '.' has no special meaning
      {"*.*", "a.b", true},
      {"*.DOC", "letter.doc", true},
      {"*.doc", "LETTER.DOC", true},
      {"*.doc", "letter.docx", false},
      {"?.txt", "a.txt", true},
      {"?.txt", "ab.txt", false},
      {"*.txt", "a.txt.txt", true},
      {"a\\b*", "a\\bc", true},  // '\' matches itself
      {"a\\b", "ab", false},
      {"*\\", "x\\", true},
      {"ÄRGER*", "ärger.txt", true},
      {"*name", "with space name", true},
      {"[ab]", "a", false},  // no character classes
      {"*.TXT", "caf\xe9.txt", true},  // not UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.matches, MatchWildcard(c.pattern, c.name)) << c.pattern << " ~ " << c.name;
  }
  EXPECT_TRUE(WildcardList({"x", "*.txt"}).MatchesAny("caf\xe9.txt"));
}

}  // namespace
