// Path joining, wildcard matching and the selection rules of a job.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/PathUtil.h"
#include "engine/SourceSelection.h"
#include "engine/Wildcard.h"
#include "jobs/BackupJob.h"

namespace {

TEST(PathUtilTest, JoinPathAddsOneSlashOnly) {
  struct Case {
    const char* a;
    const char* b;
    const char* joined;
  } cases[] = {
      {"", "b", "b"},
      {"a", "b", "a/b"},
      {"a/", "b", "a/b"},
      {"a\\", "b", "a\\/b"},  // '\' is a name character, not a separator
      {"/", "x", "/x"},
      {"a", "", "a/"},
      {"a", "/", "a//"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.joined, JoinPath(c.a, c.b)) << c.a << " + " << c.b;
  }
  EXPECT_EQ("a\\b/c", ToNativeSeparators("a\\b/c"));
}

TEST(WildcardTest, MatchesWholeNameWithoutRegardToCase) {
  struct Case {
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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.matches, MatchWildcard(c.pattern, c.name)) << c.pattern << " ~ " << c.name;
  }
}

TEST(WildcardTest, NamesThatAreNotUtf8StillMatch) {
  const std::string latin1 = "caf\xe9.txt";
  EXPECT_TRUE(MatchWildcard("*", latin1));
  EXPECT_TRUE(MatchWildcard("*.TXT", latin1));
  EXPECT_TRUE(WildcardList({"*.txt"}).MatchesAny(latin1));
}

BackupJob SelectionJob() {
  BackupJob job;
  job.SourceRootPath = "/src";
  job.IncludeFilePatterns = {"*"};
  job.IncludeDirPatterns = {"*"};
  return job;
}

TEST(SourceSelectionTest, ExcludedPathsCompareExactlyIgnoringTrailingSlash) {
  struct Case {
    std::vector<std::string> excludePaths;
    const char* dirPath;
    bool excluded;
  } cases[] = {
      {{"Docs/Temp"}, "/src/Docs/Temp", true},
      {{"Docs/Temp/"}, "/src/Docs/Temp", true},
      {{"Docs/Temp"}, "/src/Docs/Temp/", true},
      {{"Docs/Temp"}, "/src/Temp", false},        // only that directory
      {{"Docs/Temp"}, "/src/Docs/Temp/x", false},  // not its subdirectories by path
      {{"Docs/Temp"}, "/src/docs/temp", false},   // names are case-sensitive
      {{"Docs/Temp"}, "/src/Docs/Tempo", false},
      {{"Other", "Docs/Temp"}, "/src/Docs/Temp", true},
      {{}, "/src/Docs/Temp", false},
  };
  for (const Case& c : cases) {
    BackupJob job = SelectionJob();
    job.ExcludePaths = c.excludePaths;
    SourceSelection selection(job);
    EXPECT_EQ(c.excluded, selection.IsDirectoryExcluded(c.dirPath, "Temp")) << c.dirPath;
  }
}

}  // namespace
