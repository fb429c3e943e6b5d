// A job scheduled a minute ahead on the simulated clock runs its backup on
// the real worker thread and leaves an archive every outside reader accepts.
#include <string>

#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/utils.h>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "jobs/BackupJob.h"
#include "scheduler/BackupScheduler.h"
#include "scheduler/RunnerJobStarter.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/ExternalZip.h"
#include "tests/support/TempDir.h"

using scheduler_test::Moment;
using scheduler_test::SimulatedClock;
using testing_support::PathExists;
using testing_support::WriteFile;

namespace {

TEST(ScheduledRunTest, JobDueAMinuteAheadRunsThroughTheWorkerThread) {
  wxInitializer toolkit;
  testing_support::TempDir tmp;
  WriteFile(tmp / "src/a.txt", "alpha\n");
  WriteFile(tmp / "src/d/b.txt", std::string(100000, 'b'));
  WriteFile(tmp / "out/.keep", "");
  BackupJob job("Docs");
  job.SourceRootPath = tmp / "src";
  job.TargetPath = tmp / "out";
  job.NoOverwrite = false;
  job.ScheduleFull.Days = JobSchedule::Mon;
  job.SetFullTime("10:00");

  SimulatedClock clock(Moment(0, "09:59:00"));
  BackupProgress progress;
  BackupRunner runner(progress);
  RunnerJobStarter starter(runner);
  BackupScheduler scheduler(starter);
  scheduler.ScheduleJob(&job);
  scheduler.Start();

  clock.Set(Moment(0, "09:59:30"));
  scheduler.OnTick();
  EXPECT_FALSE(runner.IsBusy());
  EXPECT_FALSE(PathExists(tmp / "out/Docs.zip"));

  clock.Set(Moment(0, "10:00:20"));
  scheduler.OnTick();
  EXPECT_EQ(&job, runner.Job());
  EXPECT_TRUE(runner.FullBackup());
  // Bounded wait for the worker: about a minute at most.
  for (int i = 0; i < 60000 && runner.IsBusy(); ++i) wxMilliSleep(1);
  ASSERT_FALSE(runner.IsBusy());
  scheduler.Stop();

  EXPECT_EQ(&job, progress.finishedJob.load());
  EXPECT_TRUE(runner.Succeeded());
  const std::string archive = tmp / "out/Docs.zip";
  EXPECT_ZIP_VALID(archive);
  const auto entries = testing_support::ExternalEntries(archive);
  ASSERT_EQ(1u, entries.count("a.txt"));
  ASSERT_EQ(1u, entries.count("d/b.txt"));
  EXPECT_EQ("alpha\n", entries.at("a.txt").content);
  EXPECT_EQ(std::string(100000, 'b'), entries.at("d/b.txt").content);
  ASSERT_EQ(1u, scheduler.FullQueue().size());
  EXPECT_EQ(Moment(7, "10:00:00"), scheduler.FullQueue().begin()->first);
}

}  // namespace
