// The source walk: order, selection, cancellation and the archive attribute,
// on real directory trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/PathUtil.h"
#include "engine/SourceWalker.h"
#include "jobs/BackupJob.h"
#include "platform/Env.h"
#include "tests/engine/selection/LogCatcher.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// Records what the walk asks for, as "file:<relative path>" and
// "dir:<relative path>"; `onAdd` decides the result of an add (or throws).
class RecordingActions : public SourceWalkActions {
 public:
  bool AddSourceFile(const std::string& relativeDir, const std::string& name,
                     const platform::FileInfo&) override {
    const std::string path = JoinPath(relativeDir, name);
    events.push_back("file:" + path);
    return onAdd ? onAdd(path) : true;
  }
  bool EnterSubdirectory(const std::string& relativeDir, const std::string& name) override {
    events.push_back("dir:" + JoinPath(relativeDir, name));
    return enterResult;
  }

  std::vector<std::string> events;
  std::function<bool(const std::string&)> onAdd;
  bool enterResult = true;
};

BackupJob JobFor(const std::string& sourceRoot) {
  BackupJob job("walk");
  job.SourceRootPath = sourceRoot;
  return job;
}

std::set<std::string> Walk(const BackupJob& job, bool full, RecordingActions* actions = nullptr) {
  RecordingActions local;
  RecordingActions& used = actions != nullptr ? *actions : local;
  SourceWalker walker(job, full, nullptr, used);
  EXPECT_TRUE(walker.BackupDirectory(""));
  return std::set<std::string>(used.events.begin(), used.events.end());
}

bool ArchiveBitOnDisk(const std::string& path) {
  platform::FileInfo info;
  EXPECT_EQ(0, platform::Env::Default()->Stat(path, &info)) << path;
  return platform::Env::Default()->IsArchiveBitSet(path, info);
}

std::string PathOf(const std::string& event) { return event.substr(event.find(':') + 1); }

std::string ParentOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsBelow(const std::string& path, const std::string& directory) {
  return path.compare(0, directory.size() + 1, directory + "/") == 0;
}

// Files of a directory come before its subdirectories, and everything below
// a subdirectory directly follows the subdirectory, before its next sibling.
void ExpectFilesFirstDepthFirst(const std::vector<std::string>& events) {
  for (size_t i = 0; i < events.size(); ++i) {
    const std::string path = PathOf(events[i]);
    if (events[i].rfind("dir:", 0) == 0) {
      size_t end = i + 1;
      while (end < events.size() && IsBelow(PathOf(events[end]), path)) ++end;
      for (size_t j = end; j < events.size(); ++j) {
        EXPECT_FALSE(IsBelow(PathOf(events[j]), path)) << events[j] << " after leaving " << path;
      }
    } else {
      for (size_t j = 0; j < i; ++j) {
        bool siblingDirBefore =
            events[j].rfind("dir:", 0) == 0 && ParentOf(PathOf(events[j])) == ParentOf(path);
        EXPECT_FALSE(siblingDirBefore) << events[i] << " after " << events[j];
      }
    }
  }
}

TEST(SourceWalkerTest, VisitsFilesFirstThenSubdirectoriesDepthFirst) {
  TempDir dir;
  for (const char* file : {"f1", "f2", "f3", "A/a1", "A/A1/a11", "A/A1/x/deep", "A/a2", "B/b1",
                           "B/B1/b11", "C/c1"}) {
    WriteFile(dir / file, file);
  }
  std::filesystem::create_directories(dir / "A/A2");
  RecordingActions actions;
  EXPECT_EQ((std::set<std::string>{"file:f1", "file:f2", "file:f3", "dir:A", "file:A/a1",
                                   "file:A/a2", "dir:A/A1", "file:A/A1/a11", "dir:A/A1/x",
                                   "file:A/A1/x/deep", "dir:A/A2", "dir:B", "file:B/b1",
                                   "dir:B/B1", "file:B/B1/b11", "dir:C", "file:C/c1"}),
            Walk(JobFor(dir.path()), true, &actions));
  EXPECT_EQ(17u, actions.events.size());
  ExpectFilesFirstDepthFirst(actions.events);
}

TEST(SourceWalkerTest, SelectionRulesDecideWhatIsVisited) {
  TempDir dir;
  for (const char* file : {"a.txt", "B.TXT", "c.doc", ".h.txt", "Docs/d.txt", "Docs/Temp/t.txt",
                           "Docs/temp2/u.txt", "Cache.tmp/x.txt", ".hid/y.txt", "vis/.z.txt"}) {
    WriteFile(dir / file, file);
  }
  struct Case {
    const char* label;
    std::function<void(BackupJob&)> configure;
    std::set<std::string> events;
  } cases[] = {
      {"everything", [](BackupJob&) {},
       {"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt", "dir:Docs", "file:Docs/d.txt",
        "dir:Docs/Temp", "file:Docs/Temp/t.txt", "dir:Docs/temp2", "file:Docs/temp2/u.txt",
        "dir:Cache.tmp", "file:Cache.tmp/x.txt", "dir:.hid", "file:.hid/y.txt", "dir:vis",
        "file:vis/.z.txt"}},
      {"patterns ignore case",
       [](BackupJob& job) {
         job.IncludeFilePatterns = {"*.TXT"};
         job.ExcludeFilePatterns = {"b*", ".*"};
         job.IncludeDirPatterns = {"docs", "TEMP*"};
       },
       {"file:a.txt", "dir:Docs", "file:Docs/d.txt", "dir:Docs/Temp", "file:Docs/Temp/t.txt",
        "dir:Docs/temp2", "file:Docs/temp2/u.txt"}},
      {"exclude path and dir pattern",
       [](BackupJob& job) {
         job.ExcludePaths = {"Docs/Temp"};
         job.ExcludeDirPatterns = {"*.TMP", ".*", "vis"};
       },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt", "dir:Docs", "file:Docs/d.txt",
        "dir:Docs/temp2", "file:Docs/temp2/u.txt"}},
      {"exclude path with trailing slash, paths are case-sensitive",
       [](BackupJob& job) {
         job.ExcludePaths = {"Docs/Temp/", "docs/temp2", "Cache.tmp", ".hid", "vis"};
       },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt", "dir:Docs", "file:Docs/d.txt",
        "dir:Docs/temp2", "file:Docs/temp2/u.txt"}},
      {"hidden files excluded",
       [](BackupJob& job) {
         job.ExcludeHiddenFiles = true;
         job.IncludeDirPatterns = {"vis", ".hid"};
       },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "dir:.hid", "file:.hid/y.txt", "dir:vis"}},
      {"hidden directories excluded",
       [](BackupJob& job) {
         job.ExcludeHiddenDirs = true;
         job.IncludeDirPatterns = {"vis", ".hid"};
       },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt", "dir:vis", "file:vis/.z.txt"}},
      {"no include patterns",
       [](BackupJob& job) {
         job.IncludeFilePatterns.clear();
         job.IncludeDirPatterns.clear();
       },
       {}},
      {"no dir patterns: only the directory's own files",
       [](BackupJob& job) { job.IncludeDirPatterns.clear(); },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt"}},
      {"*.* skips names without a dot",
       [](BackupJob& job) { job.IncludeDirPatterns = {"*.*"}; },
       {"file:a.txt", "file:B.TXT", "file:c.doc", "file:.h.txt", "dir:Cache.tmp",
        "file:Cache.tmp/x.txt", "dir:.hid", "file:.hid/y.txt"}},
  };
  for (const Case& c : cases) {
    BackupJob job = JobFor(dir.path() + "/");
    c.configure(job);
    EXPECT_EQ(c.events, Walk(job, true)) << c.label;
  }
}

TEST(SourceWalkerTest, CancellationIsTestedBeforeEveryEntry) {
  TempDir dir;
  for (const char* file : {"f1", "f2", "f3", "f4", "f5", "D/d1", "D/d2"}) WriteFile(dir / file, "x");
  const int kEntries = 8;  // five files, D, and D's two files
  for (int stopAt = 1; stopAt <= kEntries + 1; ++stopAt) {
    TempDir copy;
    std::filesystem::copy(dir.path(), copy.path(), std::filesystem::copy_options::recursive);
    int tests = 0;
    RecordingActions actions;
    SourceWalker walker(JobFor(copy.path()), true, [&] { return ++tests >= stopAt; }, actions);
    const bool completed = walker.BackupDirectory("");
    EXPECT_EQ(stopAt > kEntries, completed) << stopAt;
    EXPECT_EQ(std::min(stopAt - 1, kEntries), static_cast<int>(actions.events.size())) << stopAt;
    for (const char* file : {"f1", "f2", "f3", "f4", "f5", "D/d1", "D/d2"}) {
      const std::string path = copy / file;
      const bool added = std::count(actions.events.begin(), actions.events.end(),
                                    "file:" + std::string(file)) == 1;
      EXPECT_EQ(!added, ArchiveBitOnDisk(path)) << file << " stop at " << stopAt;
    }
  }
}

TEST(SourceWalkerTest, ArchiveAttributeDrivesIncrementalRuns) {
  TempDir dir;
  for (const char* file : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "sub/s.txt"}) {
    WriteFile(dir / file, file);
  }
  const BackupJob job = JobFor(dir.path());
  platform::Env* env = platform::Env::Default();

  EXPECT_EQ(7u, Walk(job, true).size());  // every file, and the directory
  for (const char* file : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "sub/s.txt"}) {
    EXPECT_FALSE(ArchiveBitOnDisk(dir / file)) << file;
  }
  EXPECT_EQ(std::set<std::string>{"dir:sub"}, Walk(job, false));
  EXPECT_EQ(7u, Walk(job, true).size());  // a full run takes everything again

  WriteFile(dir / "a.txt", "changed");
  env->SetModificationTime(dir / "a.txt", 1700000000);
  WriteFile(dir / "b.new", "replacement");
  env->RenameFile(dir / "b.new", dir / "b.txt");
  WriteFile(dir / "sub/s.txt", "changed too");
  EXPECT_EQ((std::set<std::string>{"file:a.txt", "file:b.txt", "dir:sub", "file:sub/s.txt"}),
            Walk(job, false));
  EXPECT_EQ(std::set<std::string>{"dir:sub"}, Walk(job, false));

  // c.txt changes while it is being stored, d.txt is refused: both are taken
  // again by the next incremental run; a stored file is not.
  for (const char* file : {"c.txt", "d.txt", "e.txt"}) WriteFile(dir / file, "new content");
  RecordingActions actions;
  actions.onAdd = [&](const std::string& path) {
    if (path == "c.txt") WriteFile(dir / "c.txt", "grown while being read");
    return path != "d.txt";
  };
  EXPECT_EQ((std::set<std::string>{"file:c.txt", "file:d.txt", "file:e.txt", "dir:sub"}),
            Walk(job, false, &actions));
  EXPECT_EQ((std::set<std::string>{"file:c.txt", "file:d.txt", "dir:sub"}), Walk(job, false));
}

TEST(SourceWalkerTest, FailuresStopTheWalkAndKeepTheAttribute) {
  TempDir dir;
  for (const char* file : {"a.txt", "sub/s.txt"}) WriteFile(dir / file, file);
  const BackupJob job = JobFor(dir.path());

  RecordingActions throwing;
  throwing.onAdd = [](const std::string&) -> bool { throw std::runtime_error("disk full"); };
  SourceWalker walker(job, true, nullptr, throwing);
  EXPECT_FALSE(walker.BackupDirectory(""));
  EXPECT_EQ(std::vector<std::string>{"file:a.txt"}, throwing.events);
  EXPECT_TRUE(ArchiveBitOnDisk(dir / "a.txt"));

  RecordingActions refusingDirectory;
  refusingDirectory.enterResult = false;
  SourceWalker stopping(job, true, nullptr, refusingDirectory);
  EXPECT_FALSE(stopping.BackupDirectory(""));
  EXPECT_EQ((std::vector<std::string>{"file:a.txt", "dir:sub"}), refusingDirectory.events);
  EXPECT_TRUE(ArchiveBitOnDisk(dir / "sub/s.txt"));

  // Clearing the attribute may fail (no extended attributes): silently.
  testing_support::FaultEnv faultEnv;
  faultEnv.FailMarkArchived();
  platform::Env::Install(&faultEnv);
  RecordingActions actions;
  SourceWalker unmarked(job, true, nullptr, actions);
  EXPECT_TRUE(unmarked.BackupDirectory("sub"));
  platform::Env::Install(nullptr);
  EXPECT_EQ(std::vector<std::string>{"file:sub/s.txt"}, actions.events);
  EXPECT_TRUE(ArchiveBitOnDisk(dir / "sub/s.txt"));
}

// Counts the archived-stamp reads and writes per path.
class StampCountingEnv : public testing_support::FaultEnv {
 public:
  bool IsArchiveBitSet(const std::string& path, const platform::FileInfo& info) override {
    ++reads[path];
    return FaultEnv::IsArchiveBitSet(path, info);
  }
  int MarkArchived(const std::string& path, const platform::FileInfo& seen) override {
    ++writes[path];
    return FaultEnv::MarkArchived(path, seen);
  }

  std::map<std::string, int> reads;
  std::map<std::string, int> writes;
};

TEST(SourceWalkerTest, StampsAreReadOnlyForSelectedFilesAndWrittenOnlyWhenChanged) {
  TempDir dir;
  for (const char* file : {"a.txt", "b.txt", "skip.log", "sub/c.txt", "sub/d.log"}) {
    WriteFile(dir / file, file);
  }
  BackupJob job = JobFor(dir.path());
  job.IncludeFilePatterns = {"*.txt"};
  const std::map<std::string, int> onceEach{
      {dir / "a.txt", 1}, {dir / "b.txt", 1}, {dir / "sub/c.txt", 1}};
  struct Case {
    const char* label;
    bool full;
    std::map<std::string, int> reads;
    std::map<std::string, int> writes;
  } cases[] = {
      {"full run of new files", true, onceEach, onceEach},
      {"full run of stored files: not stamped again", true, onceEach, {}},
      {"incremental run, nothing changed", false, onceEach, {}},
  };
  for (const Case& c : cases) {
    StampCountingEnv env;
    platform::Env::Install(&env);
    Walk(job, c.full);
    platform::Env::Install(nullptr);
    EXPECT_EQ(c.reads, env.reads) << c.label;
    EXPECT_EQ(c.writes, env.writes) << c.label;
  }
}

class ThrowingDirectoryActions : public RecordingActions {
 public:
  bool EnterSubdirectory(const std::string&, const std::string&) override {
    throw std::runtime_error("cannot switch archives");
  }
};

TEST(SourceWalkerTest, ExceptionsOfTheSubdirectoryActionReachTheCaller) {
  TempDir dir;
  WriteFile(dir / "sub/s.txt", "s");
  ThrowingDirectoryActions actions;
  SourceWalker walker(JobFor(dir.path()), true, nullptr, actions);
  EXPECT_THROW(walker.BackupDirectory(""), std::runtime_error);
}

TEST(SourceWalkerTest, MissingDirectoryIsLoggedTwiceEmptyOneNotAndNeitherFails) {
  TempDir dir;
  std::filesystem::create_directory(dir / "empty");
  LogCatcher log;
  RecordingActions actions;
  EXPECT_TRUE(SourceWalker(JobFor(dir / "empty"), true, nullptr, actions).BackupDirectory(""));
  EXPECT_TRUE(log.errors().empty());
  EXPECT_TRUE(SourceWalker(JobFor(dir / "missing"), true, nullptr, actions).BackupDirectory(""));
  EXPECT_TRUE(actions.events.empty());
  ASSERT_EQ(2u, log.errors().size());
  for (const std::string& message : log.errors()) {
    EXPECT_NE(std::string::npos,
              message.find("Can not enumerate files in directory '" + dir / "missing/" + "'"))
        << message;
    EXPECT_NE(std::string::npos, message.find(platform::ErrorText(2))) << message;
  }
}

}  // namespace
