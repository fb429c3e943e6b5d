// Retention after committed runs: KeepOld and KeepDays over eight daily runs
// for each suffix (the first run, the only full one, stays in every case as
// the newest full backup), and the newest full backup kept by the archive index. What
// is not the job's (notes.zip, photos/) survives every case; archives left are
// read by outside readers.
#include <filesystem>

#include "engine/ArchiveIndex.h"
#include "engine/ArchiveRetention.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::ZipFilesBelow;
using testing_support::WriteFile;

namespace {

// "<archive>.zip" and its retired copies "(old 1)" to "(old <olds>)", with `more`.
std::set<std::string> WithOld(const std::string& archive, int olds, std::set<std::string> more = {}) {
  more.insert(archive + ".zip");
  for (int n = 1; n <= olds; ++n) more.insert(archive + " (old " + std::to_string(n) + ").zip");
  return more;
}

// Files written after `now` (by the run just made) get `now` as their time.
void AgeFilesTo(const std::string& directory, int64_t now) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    platform::FileInfo info;
    if (platform::Env::Default()->Stat(entry.path().string(), &info) == 0 && info.mtimeSeconds > now) {
      platform::Env::Default()->SetModificationTime(entry.path().string(), now);
    }
  }
}

TEST(RetentionTest, EightDailyRunsKeepWhatTheJobSays) {
  using S = SuffixKind;
  const std::set<std::string> foreign{"notes.zip", "photos/x.zip", "Docs/notes.zip"};
  const struct {  // single: no archive directories, one archive beside the backup directory
    const char* label; S suffix; bool single; uint32_t keepOld, keepDays; std::set<std::string> left;
    bool changedOnce = false;  // the second run also stores b.txt, which never changes again
    bool indexLost = false;    // the index is deleted before the last run
  } cases[] = {
      {"keep all", S::None, false, 0, 0, WithOld("Docs/A", 7)},
      {"keep 1", S::None, false, 1, 0, WithOld("Docs/A", 2)},
      {"keep 4", S::None, false, 4, 0, WithOld("Docs/A", 5)},
      // The second run's archive holds the only copy of b.txt as it is.
      {"keep 1, a file changed once", S::None, false, 1, 0, WithOld("Docs/A", 3), true},
      // Which archive is the full backup is no longer known: none goes.
      {"keep 1, the index lost", S::None, false, 1, 0, WithOld("Docs/A", 3), false, true},
      {"3 days", S::None, false, 0, 3, WithOld("Docs/A", 4)},
      {"weekday directories stay", S::Weekday, false, 4, 3,
       WithOld("Docs-Mon/A", 1, {"Docs-Tue/A.zip", "Docs-Wed/A.zip", "Docs-Thu/A.zip", "Docs-Fri/A.zip",
                                 "Docs-Sat/A.zip", "Docs-Sun/A.zip"})},
      {"dated directories", S::Date, false, 4, 3,
       {"Docs-2026-11-02/A.zip", "Docs-2026-11-06/A.zip", "Docs-2026-11-07/A.zip", "Docs-2026-11-08/A.zip",
        "Docs-2026-11-09/A.zip"}},
      {"dated archives", S::Date, true, 0, 3,
       {"Docs-2026-11-02.zip", "Docs-2026-11-06.zip", "Docs-2026-11-07.zip", "Docs-2026-11-08.zip",
        "Docs-2026-11-09.zip"}},
      {"dated directories, a file changed once", S::Date, false, 4, 3,
       {"Docs-2026-11-02/A.zip", "Docs-2026-11-03/A.zip", "Docs-2026-11-06/A.zip",
        "Docs-2026-11-07/A.zip", "Docs-2026-11-08/A.zip", "Docs-2026-11-09/A.zip"}, true},
      {"year and week", S::YearWeek, false, 4, 3, WithOld("Docs-2026-45/A", 4, {"Docs-2026-46/A.zip"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    run_test::Sandbox t;
    for (const std::string& name : foreign) WriteFile(t.target + "/" + name, "not the job's");
    AgeFilesTo(t.target, 0);
    t.job.Suffix = c.suffix;
    t.job.NoOverwrite = true;
    t.job.KeepOld = c.keepOld;
    t.job.KeepDays = c.keepDays;
    if (!c.single) t.job.Archives = {"A"};
    // Monday 2 November 2026, 12:00 local time, then one run a day.
    const int64_t start = wxDateTime(2, wxDateTime::Nov, 2026, 12).GetTicks();
    run_test::ScopedClock clock(start);
    for (int day = 0; day < 8; ++day) {
      clock.Set(start + day * 24 * 3600);
      WriteFile(t.source + "/A/a.txt", std::string(day + 1, 'a'));
      if (c.changedOnce && day == 1) WriteFile(t.source + "/A/b.txt", "b");
      if (c.indexLost && day == 7) std::filesystem::remove(t.target + "/Docs/" + ArchiveIndex::kFileName);
      ASSERT_TRUE(t.RunJob(day == 0)) << t.runner.Result().FailureText();
      AgeFilesTo(t.target, clock.Now());
    }
    std::set<std::string> expected = c.left;
    expected.insert(foreign.begin(), foreign.end());
    EXPECT_EQ(expected, ZipFilesBelow(t.target));
    for (const std::string& name : c.left) EXPECT_ZIP_VALID(t.target + "/" + name);
  }
}

// A full run, an incremental one adding to it, a full run stopped after one file, then
// daily incremental runs: the first archive, the only complete full backup, stays.
TEST(RetentionTest, OnlyCompleteFullBackupStays) {
  run_test::Sandbox t;
  t.job.Suffix = SuffixKind::Date, t.job.KeepDays = 2;
  const int64_t start = wxDateTime(2, wxDateTime::Nov, 2026, 12).GetTicks();
  run_test::ScopedClock clock(start);
  for (int run = 0; run < 6; ++run) {
    clock.Set(start + (run == 0 ? 0 : (run - 1) * 24 * 3600 + 3600));
    WriteFile(t.source + "/run" + std::to_string(run), "x");
    EXPECT_EQ(run != 2, t.runner.RunNow(&t.job, run == 0 || run == 2,
                                        [&] { return run == 2 && t.progress.filesAdded > 0; }));
    AgeFilesTo(t.target, clock.Now());
  }
  EXPECT_EQ(1u, ZipFilesBelow(t.target).count("Docs-2026-11-02.zip"));
}

// The index names "(old 4)" the newest full backup: it stays whatever
// KeepOld says, the older ones go, and the archives left are renumbered in
// their order, closing the gap at 3, with their index lines.
TEST(RetentionTest, NewestFullStaysAndNumbersFollowTheOrder) {
  testing_support::TempDir tmp;
  const std::string dir = tmp / "Docs";
  ArchiveIndex index;
  for (const char* name : {"A (old 1).zip", "A (old 2).zip", "A (old 4).zip", "A (old 5).zip",
                           "A.zip"}) {
    WriteFile(dir + "/" + name, name);
    const bool full = std::string(name) == "A (old 4).zip";
    index.Record({name, full ? ArchiveKind::Full : ArchiveKind::Incremental, wxDateTime::Now(), 1});
  }
  ASSERT_TRUE(index.Save(*platform::Env::Default(), dir));
  BackupJob job("Docs");
  job.KeepOld = 1;
  const std::vector<std::string> removed =
      ArchiveRetention(job, wxDateTime::Now()).Apply(dir, {dir + "/A.zip"});
  EXPECT_EQ((std::vector<std::string>{dir + "/A (old 1).zip", dir + "/A (old 2).zip"}), removed);
  EXPECT_EQ("A (old 4).zip", testing_support::ReadFile(dir + "/A (old 1).zip"));
  EXPECT_EQ("A (old 5).zip", testing_support::ReadFile(dir + "/A (old 2).zip"));
  const ArchiveIndex after = ArchiveIndex::Load(*platform::Env::Default(), dir);
  ASSERT_EQ(3u, after.Archives().size());
  EXPECT_EQ(ArchiveKind::Full, after.Find("A (old 1).zip")->kind);
  EXPECT_EQ(ArchiveKind::Incremental, after.Find("A (old 2).zip")->kind);
  EXPECT_EQ(std::set<std::string>({"A (old 1).zip", "A (old 2).zip", "A.zip"}),
            ZipFilesBelow(dir));
}

}  // namespace
