// Restore as of each run of a chain, hostile archives on restore, verify
// after a run and on demand, and the command line's archive commands.
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "engine/ArchiveCatalogue.h"
#include "engine/EntryNameSet.h"
#include "engine/ReadCallback.h"
#include "engine/RestoreRun.h"
#include "jobs/JobDefinitionWriter.h"
#include "tests/engine/run/RunTestSupport.h"
#include "tests/support/FaultEnv.h"
#include "zip/ZipReader.h"

namespace {

using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::WriteFile;

// Each file below a root: its modification time, mode and content.
using Tree = std::map<std::string, std::string>;

Tree Snapshot(const std::string& root) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    struct stat st;
    ::stat(entry.path().c_str(), &st);
    tree[std::filesystem::relative(entry.path(), root).string()] =
        std::to_string(st.st_mtime) + " " + std::to_string(st.st_mode & 0777u) + " " + ReadFile(entry.path());
  }
  return tree;
}

void Write(const std::string& path, const std::string& content, int64_t mtime, mode_t mode) {
  WriteFile(path, content);
  ::chmod(path.c_str(), mode);
  struct utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
  ::utime(path.c_str(), &times);
}

RestoreResult Restore(const BackupJob& job, const std::string& destination, const wxDateTime& asOf,
                      bool overwrite = false) {
  ReadProgress progress;
  ReadCallback callback(progress, nullptr);
  RestoreRequest request{destination, asOf, overwrite, {}};
  return RestoreRun(*platform::Env::Current(), callback)
      .Run(ArchiveCatalogue::Scan(*platform::Env::Current(), job), request);
}

// A full and four incremental runs, a day apart, with files changed, added,
// renamed and deleted between them, a file replaced by a folder and a folder
// by a file: a restore as of each run gives that run's tree (bytes,
// modification time, mode), plus files deleted since earlier runs, which
// have no record of their deletion, unless a later run stored the other kind.
TEST(RestoreTest, RestoresTheTreeOfEveryRunOfAChain) {
  // everyRun false: later runs add to the one archive, only the last tree is kept.
  const struct { bool noOverwrite; SuffixKind suffix; bool everyRun; } rows[] = {
      {true, SuffixKind::None, true},  {false, SuffixKind::None, false},
      {true, SuffixKind::Weekday, true}, {false, SuffixKind::Weekday, true},
      {true, SuffixKind::Date, true},  {false, SuffixKind::Date, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.noOverwrite) + " suffix " + std::to_string(static_cast<int>(row.suffix)));
    run_test::Sandbox box;
    box.job.NoOverwrite = row.noOverwrite;
    box.job.Suffix = row.suffix;
    int64_t now = wxDateTime(1, wxDateTime::Dec, 2026, 10, 0, 0).GetTicks();
    run_test::ScopedClock clock(now);
    const std::string& s = box.source;
    Write(s + "/a.txt", "alpha 0", now - 1000, 0644);
    Write(s + "/b.txt", "beta", now - 1000, 0600);
    Write(s + "/sub/c.txt", testing_support::NoiseBytes(100000, 1), now - 1000, 0755);
    Write(s + "/x/f.txt", "in a folder", now - 1000, 0644);
    Write(s + "/y", "a file", now - 1000, 0644);
    const std::function<void(int64_t)> changes[] = {
        [&](int64_t t) {
          Write(s + "/a.txt", "alpha 1", t, 0644); Write(s + "/d.txt", "new", t, 0640);
          std::filesystem::remove(s + "/y"); Write(s + "/y/g.txt", "a file became a folder", t, 0644);
        },
        // A renamed file that also changed.
        [&](int64_t t) {
          std::filesystem::rename(s + "/sub/c.txt", s + "/sub/e.txt");
          Write(s + "/sub/e.txt", ReadFile(s + "/sub/e.txt") + "!", t, 0755);
        },
        [&](int64_t t) {
          std::filesystem::remove(s + "/b.txt"); Write(s + "/a.txt", "alpha 3", t, 0600);
          std::filesystem::remove_all(s + "/x"); Write(s + "/x", "a folder became a file", t, 0644);
        },
        [&](int64_t t) { Write(s + "/sub/e.txt", "shorter", t, 0700); },
    };
    std::vector<Tree> trees;
    std::vector<wxDateTime> times;
    for (int run = 0; run < 5; ++run) {
      if (run > 0) {
        now += 86400;
        clock.Set(now);
        changes[run - 1](now - 100);
      }
      ASSERT_TRUE(box.RunJob(run == 0)) << "run " << run << ": " << box.runner.Result().FailureText();
      trees.push_back(Snapshot(s));
      times.push_back(wxDateTime(static_cast<time_t>(now)));
    }
    Tree everSeen;
    for (const Tree& tree : trees) everSeen.insert(tree.begin(), tree.end());
    for (int run = row.everyRun ? 0 : 4; run < 5; ++run) {
      SCOPED_TRACE("as of run " + std::to_string(run));
      const std::string destination = box.tmp / ("restored" + std::to_string(run));
      const RestoreResult result = Restore(box.job, destination, times[run]);
      EXPECT_TRUE(result.problems.empty()) << result.problems.front().path << ": " << result.problems.front().reason;
      const Tree restored = Snapshot(destination);
      for (const auto& [path, state] : trees[run])
        EXPECT_TRUE(restored.count(path) && restored.at(path) == state) << path;
      for (const auto& [path, state] : restored)
        EXPECT_TRUE(trees[run].count(path) || everSeen.count(path)) << "unexpected " << path;
    }
  }
}

// Entries that would leave the destination or pass a symbolic link in it are
// refused one by one; the rest is restored, nothing lands outside; an
// existing file is kept unless overwriting is asked for.
TEST(RestoreTest, RefusesHostileNamesAndKeepsExistingFiles) {
  run_test::Sandbox box;
  const std::string outside = box.tmp / "outside", destination = box.tmp / "dest";
  std::filesystem::create_directories(outside);
  std::filesystem::create_directories(destination);

  ::symlink(outside.c_str(), (destination + "/link").c_str());
  // A folder that is there already keeps its mode (the archive says 0775).
  std::filesystem::create_directories(destination + "/priv");
  ::chmod((destination + "/priv").c_str(), 0700);
  WriteFile(box.tmp / "make.py",
            "import zipfile,sys\n"
            "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
            " for n in ['../x','/etc/x','a/../../x','link/x','nulXname','good.txt','priv/','priv/p','./']:\n"
            "  z.writestr(n,'data of '+n)\n");
  const std::string archive = box.target + "/Docs.zip";
  ASSERT_EQ(0, RunCommand("python3 " + ShellQuote(box.tmp / "make.py") + " " + ShellQuote(archive)));
  std::string bytes = ReadFile(archive);
  for (size_t at; (at = bytes.find("nulXname")) != std::string::npos;) bytes[at + 3] = '\0';
  WriteFile(archive, bytes);
  // A planted index line naming an archive with ".." would put its files in "dest/../outside".
  WriteFile(box.target + "/outside.zip", bytes);
  WriteFile(box.target + "/Docs/arkivault-index.txt", "2026-12-01 10:00:00\tfull\t6\t../outside.zip\n");

  RestoreResult result = Restore(box.job, destination, wxDateTime());
  EXPECT_EQ(result.restored, 3u);
  EXPECT_EQ(ReadFile(destination + "/good.txt"), "data of good.txt");
  EXPECT_EQ(std::filesystem::status(destination + "/priv").permissions(), std::filesystem::perms::owner_all);
  // "./" never gives the destination its mode, not even when overwriting.
  ::chmod(destination.c_str(), 0700);
  Restore(box.job, destination, wxDateTime(), true);
  EXPECT_EQ(std::filesystem::status(destination).permissions(), std::filesystem::perms::owner_all);
  std::set<std::string> refused;
  for (const RestoreOutcome& outcome : result.problems) {
    if (outcome.status == RestoreStatus::Refused) refused.insert(outcome.path.substr(0, 3));
  }
  EXPECT_EQ(refused, (std::set<std::string>{"../", "/et", "a/.", "lin", "nul"}));
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  EXPECT_FALSE(testing_support::PathExists(box.tmp / "x"));
  EXPECT_EQ(result.ExitStatus(), 1);

  std::filesystem::remove(archive);
  WriteFile(box.source + "/good.txt", "backed up");
  ASSERT_TRUE(box.RunJob(true));
  result = Restore(box.job, destination, wxDateTime());
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_EQ(result.problems[0].status, RestoreStatus::Skipped);
  EXPECT_EQ(result.ExitStatus(), 3);
  EXPECT_EQ(ReadFile(destination + "/good.txt"), "data of good.txt");
  EXPECT_EQ(Restore(box.job, destination, wxDateTime(), true).ExitStatus(), 0);
  EXPECT_EQ(ReadFile(destination + "/good.txt"), "backed up");
}

// Reads of the first MiB of the committed archive (the data of its first
// entry) come back with a flipped byte, as from a bad disk: the run fails
// naming the entry and stamps nothing.
class FlippingEnv : public testing_support::FaultEnv {
 public:
  int OpenLocked(const std::string& path, platform::OpenMode mode, platform::LockKind lock,
                 std::unique_ptr<platform::File>* file) override {
    const int error = FaultEnv::OpenLocked(path, mode, lock, file);
    if (error == 0 && mode == platform::OpenMode::ReadOnly) {
      *file = std::make_unique<Flipping>(std::move(*file));
    }
    return error;
  }

 private:
  struct Flipping : platform::FileWrapper {
    using FileWrapper::FileWrapper;
    int Read(void* buffer, size_t count, size_t* bytesRead) override {
      const int error = FileWrapper::Read(buffer, count, bytesRead);
      if (position < (1 << 20) && *bytesRead > 100) static_cast<char*>(buffer)[100] ^= 1;
      position += *bytesRead;
      return error;
    }
    int Seek(int64_t offset, int origin, uint64_t* newPosition) override {
      const int error = FileWrapper::Seek(offset, origin, &position);
      if (newPosition != nullptr) *newPosition = position;
      return error;
    }
    uint64_t position = 0;
  };
};

TEST(RestoreTest, RunFailsAndStampsNothingWhenItsArchiveReadsBackDamaged) {
  run_test::Sandbox box;
  // Large enough for the check to split the archive between two readers.
  WriteFile(box.source + "/big.bin", testing_support::NoiseBytes(6 << 20, 7));
  WriteFile(box.source + "/small.txt", "small");
  FlippingEnv env;
  testing_support::ScopedEnv installed(&env);
  EXPECT_FALSE(box.RunJob(true));
  EXPECT_NE(box.runner.Result().FailureText().find("big.bin"), std::string::npos)
      << box.runner.Result().FailureText();
  EXPECT_TRUE(run_test::HasArchiveBit(box.source + "/big.bin"));
}

// The names a check after an appended run is limited to: each kept apart
// from its prefixes and extensions through the growth of the table.
TEST(RestoreTest, CheckedNamesSurviveGrowthAndStayApart) {
  EntryNameSet names;
  for (int i = 0; i < 5000; ++i) names.Insert("d/" + std::to_string(i) + "/f");
  names.Insert("d/7/f");
  EXPECT_EQ(5000u, names.Size());
  for (int i = 0; i < 5000; i += 7) EXPECT_TRUE(names.Contains("d/" + std::to_string(i) + "/f")) << i;
  for (const char* other : {"", "d/", "d/7/", "d/7/f/", "d/7/fg", "d/5000/f"}) {
    EXPECT_FALSE(names.Contains(other)) << other;
  }
  names.Clear();
  EXPECT_FALSE(names.Contains("d/7/f"));
}

// The command line: list, restore (0, then 3 with the file skipped), a
// refused time, verify sound (0) and after a flipped byte (1, entry named).
TEST(RestoreTest, CommandLineArchiveCommands) {
  if (*run_test::kProgram == '\0') GTEST_SKIP() << "this build has no program to run";
  run_test::Sandbox box;
  WriteFile(box.source + "/doc.txt", testing_support::NoiseBytes(50000, 2));
  ASSERT_TRUE(box.RunJob(true));
  WriteFile(box.tmp / "job.xml", JobDefinitionWriter::ToXml(box.job));

  const auto run = [&](const std::string& arguments, std::string* output) {
    return RunCommand("cd " + ShellQuote(box.tmp.path()) + " && " + ShellQuote(run_test::kProgram) +
                          " job.xml " + arguments + " 2>&1 </dev/null",
                      output);
  };
  std::string output;
  EXPECT_EQ(0, run("--list", &output));
  EXPECT_NE(output.find("full"), std::string::npos) << output;
  EXPECT_EQ(0, run("--restore back --as-of '2999-01-01 10:00' doc.txt", &output)) << output;
  EXPECT_EQ(ReadFile(box.tmp / "back/doc.txt"), ReadFile(box.source + "/doc.txt"));
  EXPECT_EQ(3, run("--restore back", &output)) << output;
  EXPECT_NE(output.find("doc.txt"), std::string::npos) << output;
  EXPECT_EQ(1, run("--restore back --as-of tomorrow", &output));
  EXPECT_NE(output.find("2026-12-02 14:30"), std::string::npos) << output;
  // Nothing to restore before the first run: a failure, not "0 files restored".
  EXPECT_EQ(1, run("--restore early --as-of 2000-01-01", &output)) << output;
  EXPECT_NE(output.find("No archive"), std::string::npos) << output;
  EXPECT_EQ(0, run("--verify", &output)) << output;
  const std::string archive = box.target + "/Docs.zip";
  std::string bytes = ReadFile(archive);
  bytes[1000] ^= 0x40;
  WriteFile(archive, bytes);
  EXPECT_EQ(1, run("--verify", &output));
  EXPECT_NE(output.find("Docs.zip: doc.txt:"), std::string::npos) << output;
  std::filesystem::rename(box.target, box.tmp / "unplugged");
  for (const char* command : {"--verify", "--list", "--restore back2"}) {
    EXPECT_EQ(1, run(command, &output)) << command << ": " << output;
  }
}

}  // namespace
