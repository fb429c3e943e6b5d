// The source walk on real directory trees: order, selection, cancellation,
// failures, and an awkward tree. Incremental selection and stamping are
// checked end to end by the run tests.
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <vector>

#include "engine/ListingAhead.h"
#include "engine/PathUtil.h"
#include "engine/SourceWalker.h"
#include "tests/engine/run/RunTestSupport.h"

namespace {

using run_test::MakeJob;
using testing_support::TempDir;
using testing_support::WriteFile;

// Records what the walk asks for, as "file:<relative path>",
// "dir:<relative path>", "unreadable:<path>" and "pseudo:<path>"; `onAdd` and
// `onEnter` decide the results (or throw).
class RecordingActions : public SourceWalkActions {
 public:
  bool AddSourceFile(const SourceFile& file) override {
    const std::string path = JoinPath(file.relativeDir, file.name);
    events.push_back("file:" + path);
    return onAdd ? onAdd(path, file) : true;
  }
  bool EnterSubdirectory(const std::string& relativeDir, const std::string& name) override {
    events.push_back("dir:" + JoinPath(relativeDir, name));
    return onEnter ? onEnter() : true;
  }
  void FolderUnreadable(const std::string& directory, int) override { events.push_back("unreadable:" + directory); }
  void FolderNotDiskBacked(const std::string& directory) override { events.push_back("pseudo:" + directory); }

  std::vector<std::string> events;
  std::function<bool(const std::string&, const SourceFile&)> onAdd;
  std::function<bool()> onEnter;
};

// Files first, then subdirectories, depth first: every entry lies in the last
// entered directory still open (leaving a directory closes it for good), and
// no file of a directory follows one of its subdirectories.
void ExpectFilesFirstDepthFirst(const std::vector<std::string>& events) {
  std::vector<std::string> open{""};
  std::set<std::string> subdirectoriesBegun;
  for (const std::string& event : events) {
    const std::string path = event.substr(event.find(':') + 1);
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
    while (!open.empty() && open.back() != parent) open.pop_back();
    ASSERT_FALSE(open.empty()) << event << " outside the open directories";
    if (event.rfind("dir:", 0) == 0) {
      subdirectoriesBegun.insert(parent);
      open.push_back(path);
    } else {
      EXPECT_EQ(0u, subdirectoriesBegun.count(parent)) << event << " after a subdirectory";
    }
  }
}

// The entries a completed walk visits, each once, in the walk's order.
std::set<std::string> Walk(const BackupJob& job, bool full) {
  RecordingActions actions;
  EXPECT_TRUE(SourceWalker(job, full, nullptr, actions).BackupDirectory(""));
  ExpectFilesFirstDepthFirst(actions.events);
  const std::set<std::string> visited(actions.events.begin(), actions.events.end());
  EXPECT_EQ(actions.events.size(), visited.size());
  return visited;
}

TEST(SourceWalkerTest, SelectionRulesDecideWhatIsVisited) {
  TempDir dir;
  for (const char* file : {"a.txt", "B.TXT", "c.doc", ".h.txt", "Docs/d.txt", "Docs/Temp/t.txt",
                           "Docs/Temp/deep/v.txt", "Docs/temp2/u.txt", "Cache.tmp/x.txt",
                           ".hid/y.txt", "vis/.z.txt"}) {
    WriteFile(dir / file, file);
  }
  const std::set<std::string> topFiles{"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt"};
  auto with = [&](std::set<std::string> more) {
    more.insert(topFiles.begin(), topFiles.end());
    return more;
  };
  const std::set<std::string> docsWithoutTemp =
      with({"dir:Docs", "file:Docs/d.txt", "dir:Docs/temp2", "file:Docs/temp2/u.txt"});
  struct Case { const char* label; std::function<void(BackupJob&)> configure; std::set<std::string> events; } cases[] = {
      {"everything", [](BackupJob&) {},
       with({"dir:Docs", "file:Docs/d.txt", "dir:Docs/Temp", "file:Docs/Temp/t.txt",
             "dir:Docs/Temp/deep", "file:Docs/Temp/deep/v.txt", "dir:Docs/temp2", "file:Docs/temp2/u.txt", "dir:Cache.tmp", "file:Cache.tmp/x.txt",
             "dir:.hid", "file:.hid/y.txt", "dir:vis", "file:vis/.z.txt"})},
      {"patterns ignore case",
       [](BackupJob& job) {
         job.IncludeFilePatterns = {"*.TXT"}; job.ExcludeFilePatterns = {"b*", ".*"};
         job.IncludeDirPatterns = {"docs", "TEMP*"};
       },
       {"file:a.txt", "dir:Docs", "file:Docs/d.txt", "dir:Docs/Temp", "file:Docs/Temp/t.txt",
        "dir:Docs/temp2", "file:Docs/temp2/u.txt"}},
      {"exclude path and dir pattern",
       [](BackupJob& job) { job.ExcludePaths = {"Docs/Temp"}; job.ExcludeDirPatterns = {"*.TMP", ".*", "vis"}; },
       docsWithoutTemp},
      {"exclude paths with trailing slash, whole names only, case-sensitive",
       [](BackupJob& job) { job.ExcludePaths = {"Docs/Temp/", "docs/temp2", "Doc", "Cache.tmp", ".hid/", "vis"}; },
       docsWithoutTemp},
      {"hidden files excluded",
       [](BackupJob& job) { job.ExcludeHiddenFiles = true; job.IncludeDirPatterns = {"vis", ".hid"}; },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "dir:.hid", "file:.hid/y.txt", "dir:vis"}},
      {"hidden directories excluded",
       [](BackupJob& job) { job.ExcludeHiddenDirs = true; job.IncludeDirPatterns = {"vis", ".hid"}; },
       with({"dir:vis", "file:vis/.z.txt"})},
      {"no include patterns",
       [](BackupJob& job) { job.IncludeFilePatterns.clear(); job.IncludeDirPatterns.clear(); }, {}},
      {"no dir patterns: only the directory's own files",
       [](BackupJob& job) { job.IncludeDirPatterns.clear(); }, topFiles},
      {"*.* skips names without a dot", [](BackupJob& job) { job.IncludeDirPatterns = {"*.*"}; },
       with({"dir:Cache.tmp", "file:Cache.tmp/x.txt", "dir:.hid", "file:.hid/y.txt"})},
  };
  for (const Case& c : cases) {
    BackupJob job = MakeJob(dir.path() + "/", "");
    c.configure(job);
    EXPECT_EQ(c.events, Walk(job, true)) << c.label;
    EXPECT_EQ(c.events, Walk(job, false)) << c.label << ", incremental, nothing stamped";
  }
}

// An incremental walk takes exactly the files without a stamp that holds,
// also where sibling directories are listed ahead on another thread and one
// of them holds more files than a listing ahead takes.
TEST(SourceWalkerTest, IncrementalWalkTakesTheUnstampedFilesOfEveryDirectory) {
  TempDir dir;
  std::set<std::string> expected;
  for (int d = 0; d < 5; ++d) {
    const std::string folder = "d" + std::to_string(d);
    expected.insert("dir:" + folder);
    const size_t files = d == 2 ? ListingAhead::kLimit + 40 : 30;
    for (size_t f = 0; f < files; ++f) {
      const std::string path = folder + "/f" + std::to_string(f);
      WriteFile(dir / path, path);
      platform::FileInfo seen;
      ASSERT_EQ(0, platform::Env::Default()->Stat(dir / path, &seen));
      if (f % 7 == 3 || f == files - 1) {
        expected.insert("file:" + path);
      } else if (platform::Env::Default()->MarkArchived(dir / path, seen) != 0) {
        GTEST_SKIP() << "no user xattrs on " << dir.path();
      }
    }
  }
  EXPECT_EQ(expected, Walk(MakeJob(dir.path(), ""), false));
}

TEST(SourceWalkerTest, CancellationIsTestedBeforeEveryEntry) {
  TempDir dir;
  for (const char* file : {"f1", "f2", "f3", "f4", "f5", "D/d1", "D/d2"}) WriteFile(dir / file, "x");
  const int kEntries = 8;  // five files, D, and D's two files
  for (int stopAt = 1; stopAt <= kEntries + 1; ++stopAt) {
    int tests = 0;
    RecordingActions actions;
    SourceWalker walker(MakeJob(dir.path(), ""), true, [&] { return ++tests >= stopAt; }, actions);
    EXPECT_EQ(stopAt > kEntries, walker.BackupDirectory("")) << stopAt;
    EXPECT_EQ(std::min(stopAt - 1, kEntries), static_cast<int>(actions.events.size())) << stopAt;
  }
}

// A failed add or subdirectory action stops the walk; an exception of the
// subdirectory action reaches the caller.
TEST(SourceWalkerTest, FailuresStopTheWalk) {
  TempDir dir;
  for (const char* file : {"a.txt", "sub/s.txt"}) WriteFile(dir / file, file);
  const BackupJob job = MakeJob(dir.path(), "");

  RecordingActions throwing;
  throwing.onAdd = [](const std::string&, const SourceFile&) -> bool {
    throw std::runtime_error("disk full");
  };
  EXPECT_FALSE(SourceWalker(job, true, nullptr, throwing).BackupDirectory(""));
  EXPECT_EQ(std::vector<std::string>{"file:a.txt"}, throwing.events);

  RecordingActions refusingDirectory;
  refusingDirectory.onEnter = [] { return false; };
  EXPECT_FALSE(SourceWalker(job, true, nullptr, refusingDirectory).BackupDirectory(""));
  EXPECT_EQ((std::vector<std::string>{"file:a.txt", "dir:sub"}), refusingDirectory.events);

  RecordingActions throwingDirectory;
  throwingDirectory.onEnter = []() -> bool { throw std::runtime_error("cannot switch"); };
  EXPECT_THROW(SourceWalker(job, true, nullptr, throwingDirectory).BackupDirectory(""),
               std::runtime_error);
}

// A directory that cannot be listed is logged and named once; the walk goes on.
TEST(SourceWalkerTest, MissingDirectoryIsNamedOnceEmptyOneNotAndNeitherFails) {
  TempDir dir;
  std::filesystem::create_directory(dir / "empty");
  run_test::LogText log;
  RecordingActions actions;
  EXPECT_TRUE(SourceWalker(MakeJob(dir / "empty", ""), true, nullptr, actions).BackupDirectory(""));
  EXPECT_EQ("", log.text);
  EXPECT_TRUE(SourceWalker(MakeJob(dir / "missing", ""), true, nullptr, actions).BackupDirectory(""));
  EXPECT_EQ(std::vector<std::string>{"unreadable:" + dir / "missing"}, actions.events);
  EXPECT_EQ(1, std::count(log.text.begin(), log.text.end(), '\n')) << log.text;
  EXPECT_NE(std::string::npos,
            log.text.find("Can not enumerate files in directory '" + dir / "missing/" + "'"));
  EXPECT_NE(std::string::npos, log.text.find(platform::ErrorText(ENOENT))) << log.text;
}

// Special files, link loops, a dangling link and odd names: no hang, no loop.
TEST(SourceWalkerTest, AwkwardTreeIsWalkedWithoutHangOrLoop) {
  TempDir dir;
  for (const char* file : {"a\\b.txt", "with space.txt", "ärger.txt", "Case.txt", "case.txt", "sub/CASE"})
    WriteFile(dir / file, file);
  ASSERT_EQ(0, testing_support::RunCommand("mkfifo " + testing_support::ShellQuote(dir / "pipe")));
  std::filesystem::create_directory_symlink(".", dir / "loop");
  std::filesystem::create_directory_symlink("..", dir / "sub/up");
  std::filesystem::create_symlink("nowhere", dir / "dangling");
  std::filesystem::create_symlink("with space.txt", dir / "filelink");
  EXPECT_EQ((std::set<std::string>{"file:a\\b.txt", "file:with space.txt", "file:ärger.txt",
                                   "file:Case.txt", "file:case.txt", "file:filelink", "dir:sub",
                                   "file:sub/CASE"}),
            Walk(MakeJob(dir.path(), ""), true));
}

}  // namespace
