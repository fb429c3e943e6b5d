// Threaded runs: progress values, the runner's busy state, cancellation in the
// middle of a file and between entries, and the worker's priority.
#include <gtest/gtest.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include "engine/BackupCallback.h"
#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryNames;
using run_test::GateEnv;
using run_test::HasArchiveBit;
using run_test::MakeJob;
using testing_support::PathExists;
using testing_support::WriteFile;

namespace {

class WorkerThreadTest : public ::testing::Test {
 protected:
  WorkerThreadTest() : source(tmp / "src"), target(tmp / "out"), job(MakeJob(source, target)) {
    WriteFile(target + "/.keep", "");
  }

  // Waits for the worker's end (it ends by itself once nothing holds it).
  void WaitForEnd() {
    while (runner.IsBusy()) wxMilliSleep(1);
  }

  testing_support::TempDir tmp;
  std::string source;
  std::string target;
  BackupJob job;
  BackupProgress progress;
  BackupRunner runner{progress};
};

TEST_F(WorkerThreadTest, WorkerRunCountsAddsAndBytesAndPublishesTheJob) {
  WriteFile(source + "/a.txt", std::string(1000, 'a'));
  WriteFile(source + "/d/b.bin", run_test::RandomBytes(200000, 5));
  WriteFile(source + "/d/empty.txt", "");
  BackupJob earlier = MakeJob(source, target);
  progress.finishedJob = &earlier;

  ASSERT_TRUE(runner.Start(&job, true));
  WaitForEnd();
  EXPECT_EQ(&job, progress.finishedJob.load());
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_EQ(nullptr, runner.RunningJob());
  // Three files and the directory entry of d.
  EXPECT_EQ(4u, progress.filesAdded.load());
  EXPECT_EQ(201000u, progress.bytesRead.load());
  EXPECT_ZIP_VALID(target + "/Docs.zip");

  // A second run reaps the first thread and starts from zero.
  job.NoOverwrite = true;
  ASSERT_TRUE(runner.Start(&job, false));
  WaitForEnd();
  EXPECT_EQ(0u, progress.filesAdded.load());
  EXPECT_EQ(0u, progress.bytesRead.load());
  EXPECT_EQ(&job, progress.finishedJob.load());
}

TEST_F(WorkerThreadTest, StartWhileBusyChangesNothing) {
  WriteFile(source + "/big.bin", run_test::RandomBytes(300000, 6));
  BackupJob other = MakeJob(source, target);
  GateEnv env;
  run_test::ScopedEnv installed(&env);
  env.SetGate(GateEnv::Point::SecondRead, "big.bin", true);

  ASSERT_TRUE(runner.Start(&job, true));
  EXPECT_TRUE(runner.IsBusy());
  env.WaitUntilReached();
  EXPECT_EQ(&job, runner.RunningJob());
  EXPECT_EQ(nullptr, progress.finishedJob.load());
  EXPECT_FALSE(runner.Start(&other, false));
  EXPECT_FALSE(runner.RunNow(&other, false));
  EXPECT_EQ(&job, runner.Job());
  EXPECT_TRUE(runner.FullBackup());

  env.Release();
  WaitForEnd();
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_ZIP_VALID(target + "/Docs.zip");
}

TEST_F(WorkerThreadTest, StopDuringALargeFileKeepsTheArchiveValid) {
  WriteFile(source + "/A/a.txt", "a");
  WriteFile(source + "/A/d/big.bin", run_test::RandomBytes(1 << 20, 7));
  WriteFile(source + "/A/d/e/c.txt", "c");
  WriteFile(source + "/B/b.txt", "b");
  job.Archives = {"A", "B"};
  GateEnv env;
  run_test::ScopedEnv installed(&env);
  env.SetGate(GateEnv::Point::SecondRead, "big.bin", true);

  ASSERT_TRUE(runner.Start(&job, true));
  env.WaitUntilReached();
  EXPECT_TRUE(runner.Stop());
  EXPECT_FALSE(runner.IsBusy());
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_EQ(&job, progress.finishedJob.load());
  EXPECT_ZIP_VALID(target + "/Docs/A.zip");
  EXPECT_EQ((std::set<std::string>{"a.txt", "d/"}), EntryNames(target + "/Docs/A.zip"));
  EXPECT_FALSE(HasArchiveBit(source + "/A/a.txt"));
  EXPECT_TRUE(HasArchiveBit(source + "/A/d/big.bin"));
  EXPECT_TRUE(HasArchiveBit(source + "/A/d/e/c.txt"));
  EXPECT_FALSE(PathExists(target + "/Docs/B.zip"));
}

TEST_F(WorkerThreadTest, StopBetweenEntriesTouchesNothingAfterThem) {
  WriteFile(source + "/A/x1.txt", "one");
  WriteFile(source + "/A/x2.txt", "two");
  WriteFile(source + "/B/b.txt", "b");
  job.Archives = {"A", "B"};
  GateEnv env;
  run_test::ScopedEnv installed(&env);
  env.SetGate(GateEnv::Point::MarkArchived, "/A/", true);

  ASSERT_TRUE(runner.Start(&job, true));
  env.WaitUntilReached();
  EXPECT_TRUE(runner.Stop());
  EXPECT_FALSE(runner.Succeeded());
  EXPECT_ZIP_VALID(target + "/Docs/A.zip");
  const std::set<std::string> stored = EntryNames(target + "/Docs/A.zip");
  ASSERT_EQ(1u, stored.size());
  const std::string other = *stored.begin() == "x1.txt" ? "/A/x2.txt" : "/A/x1.txt";
  EXPECT_FALSE(HasArchiveBit(source + "/A/" + *stored.begin()));
  EXPECT_TRUE(HasArchiveBit(source + other));
  EXPECT_FALSE(PathExists(target + "/Docs/B.zip"));
}

TEST_F(WorkerThreadTest, StopWhileIdleDoesNothing) {
  EXPECT_TRUE(runner.Stop());
  WriteFile(source + "/a.txt", "a");
  ASSERT_TRUE(runner.Start(&job, true));
  WaitForEnd();
  EXPECT_TRUE(runner.Stop());
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_EQ(&job, progress.finishedJob.load());
}

TEST_F(WorkerThreadTest, WorkerRunsAtTheJobsPriority) {
  WriteFile(source + "/big.bin", run_test::RandomBytes(200000, 8));
  const struct {
    JobPriority priority;
    unsigned int expected;
  } cases[] = {{JobPriority::Min, 0}, {JobPriority::Default, 50}, {JobPriority::Max, 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.priority));
    job.Priority = c.priority;
    unsigned int seen = 1000;
    GateEnv env;
    run_test::ScopedEnv installed(&env);
    env.SetGate(GateEnv::Point::SecondRead, "big.bin", false,
                [&] { seen = wxThread::This()->GetPriority(); });
    wxLogNull quiet;
    ASSERT_TRUE(runner.Start(&job, true));
    env.WaitUntilReached();
    WaitForEnd();
    EXPECT_EQ(c.expected, seen);
  }
}

// The callback on its own: a batch run's callback (no thread) counts and
// never cancels.
TEST(BackupCallbackTest, CountsAddsAndBytesWithoutAThread) {
  BackupProgress progress;
  BackupCallback callback(progress, nullptr);
  callback.BeginAction("a", "/src/a");
  EXPECT_TRUE(callback.Advance(65536));
  EXPECT_TRUE(callback.Advance(uint64_t{5} << 32));
  callback.EndAction();
  callback.EndAction();
  EXPECT_EQ(2u, progress.filesAdded.load());
  EXPECT_EQ(65536u + (uint64_t{5} << 32), progress.bytesRead.load());
}

}  // namespace
