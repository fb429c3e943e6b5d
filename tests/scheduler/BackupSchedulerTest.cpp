// The scheduler on a simulated clock: which jobs are queued, which start on a
// check, what is skipped, and where the queues stand after each check.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/init.h>

#include "jobs/BackupJob.h"
#include "scheduler/BackupScheduler.h"
#include "tests/scheduler/SchedulerTestSupport.h"

using scheduler_test::Moment;
using scheduler_test::RecordingStarter;
using scheduler_test::SimulatedClock;

namespace {

constexpr uint32_t kMon = JobSchedule::Mon;
constexpr uint32_t kWorkdays = 0x1f;

struct JobSpec {
  const char* title;
  bool active;
  uint32_t fullDays;
  const char* fullTime;
  uint32_t incrementalDays;
  const char* incrementalTime;
};

// A check at `day`/`time` (see Moment) with the runner busy or idle before it.
struct Tick {
  int day;
  const char* time;
  bool busy;
};

struct Case {
  const char* name;
  std::vector<JobSpec> jobs;
  const char* startTime;  // on day 0, when the jobs are queued
  size_t fullQueued;
  size_t incrementalQueued;
  std::vector<Tick> ticks;
  // "<tick index>: <title> full|incremental" for every start.
  std::vector<std::string> starts;
};

std::unique_ptr<BackupJob> MakeJob(const JobSpec& spec) {
  auto job = std::make_unique<BackupJob>(spec.title);
  job->Active = spec.active;
  job->ScheduleFull.Days = spec.fullDays;
  job->SetFullTime(spec.fullTime);
  job->ScheduleIncremental.Days = spec.incrementalDays;
  job->SetIncrementalTime(spec.incrementalTime);
  job->Modified = false;
  return job;
}

// Names each queued time that is not after `now`.
std::string TimesNotAfter(const BackupScheduler::JobQueue& queue, const wxDateTime& now) {
  std::string late;
  for (const auto& [time, job] : queue) {
    if (time <= now) late += job->BackupTitle + " at " + time.FormatISOCombined().ToStdString() + "; ";
  }
  return late;
}

const Case kCases[] = {
    {"inactive job never starts",
     {{"A", false, 0x7f, "10:00", 0x7f, "10:00"}},
     "09:59:00", 0, 0,
     {{0, "10:00:10", false}, {1, "10:00:10", false}},
     {}},
    {"no weekday bits, not queued for that kind",
     {{"A", true, 0, "10:00", kMon, "10:00"}},
     "09:59:00", 0, 1,
     {{0, "10:00:10", false}},
     {"0: A incremental"}},
    {"missed runs are not made up",
     {{"A", true, kMon, "10:00", 0, "00:00"}},
     "10:05:00", 1, 0,
     {{0, "10:05:30", false}, {6, "10:00:10", false}, {7, "10:00:20", false}},
     {"2: A full"}},
    {"due while busy starts on the first check after the run",
     {{"A", true, kMon, "10:00", 0, "00:00"}},
     "09:59:00", 1, 0,
     {{0, "10:00:10", true}, {0, "10:00:40", true}, {0, "10:20:10", false}, {0, "10:20:40", false}},
     {"2: A full"}},
    {"two due at once: the earlier starts, the other's occurrence is skipped",
     {{"A", true, kMon, "10:00", 0, "00:00"}, {"B", true, kMon, "10:01", 0, "00:00"}},
     "09:59:00", 2, 0,
     {{0, "10:01:10", false}, {0, "10:01:40", false}, {7, "10:00:30", false}, {7, "10:01:10", false}},
     {"0: A full", "2: A full", "3: B full"}},
    {"equal times: the job queued first starts",
     {{"B", true, kMon, "10:00", 0, "00:00"}, {"A", true, kMon, "10:00", 0, "00:00"}},
     "09:59:00", 2, 0,
     {{0, "10:00:10", false}, {0, "10:00:40", false}},
     {"0: B full"}},
    {"full and incremental at the same time: full wins",
     {{"A", true, kMon, "10:00", kMon, "10:00"}},
     "09:59:00", 1, 1,
     {{0, "10:00:10", false}, {0, "10:00:40", false}},
     {"0: A full"}},
    {"a check exactly at the due time starts the job once",
     {{"A", true, kMon, "10:00", kWorkdays, "10:00"}},
     "09:59:00", 1, 1,
     {{0, "10:00:00", false}, {0, "10:00:30", false}, {1, "10:00:00", false}},
     {"0: A full", "2: A incremental"}},
};

class BackupSchedulerTest : public ::testing::Test {
 protected:
  wxInitializer toolkit;
};

TEST_F(BackupSchedulerTest, StartsDueJobsAndKeepsEveryQueuedTimeAfterTheCheck) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SimulatedClock clock(Moment(0, c.startTime));
    RecordingStarter starter;
    BackupScheduler scheduler(starter);
    std::vector<std::unique_ptr<BackupJob>> jobs;
    for (const JobSpec& spec : c.jobs) {
      jobs.push_back(MakeJob(spec));
      scheduler.ScheduleJob(jobs.back().get());
    }
    EXPECT_EQ(c.fullQueued, scheduler.FullQueue().size());
    EXPECT_EQ(c.incrementalQueued, scheduler.IncrementalQueue().size());

    std::vector<std::string> starts;
    for (size_t i = 0; i < c.ticks.size(); ++i) {
      const wxDateTime now = Moment(c.ticks[i].day, c.ticks[i].time);
      clock.Set(now);
      starter.busy = c.ticks[i].busy;
      starter.started.clear();
      scheduler.OnTick();
      for (const std::string& start : starter.started) {
        starts.push_back(std::to_string(i) + ": " + start);
      }
      // A check while a run is going on leaves the queues alone; any other
      // check leaves only times after it.
      if (!c.ticks[i].busy) {
        EXPECT_EQ("", TimesNotAfter(scheduler.FullQueue(), now)) << "tick " << i;
        EXPECT_EQ("", TimesNotAfter(scheduler.IncrementalQueue(), now)) << "tick " << i;
      }
      EXPECT_EQ(c.fullQueued, scheduler.FullQueue().size()) << "tick " << i;
      EXPECT_EQ(c.incrementalQueued, scheduler.IncrementalQueue().size()) << "tick " << i;
    }
    EXPECT_EQ(c.starts, starts);
  }
}

TEST_F(BackupSchedulerTest, UnscheduleTakesTheJobOffBothQueues) {
  SimulatedClock clock(Moment(0, "09:00:00"));
  RecordingStarter starter;
  BackupScheduler scheduler(starter);
  auto kept = MakeJob({"Kept", true, kMon, "10:00", kWorkdays, "12:00"});
  auto removed = MakeJob({"Removed", true, kMon, "10:00", kWorkdays, "12:00"});
  scheduler.ScheduleJob(removed.get());
  scheduler.ScheduleJob(kept.get());
  // Queued twice by mistake: taking it off must still leave no pointer behind.
  scheduler.ScheduleJob(removed.get());

  scheduler.UnscheduleJob(removed.get());
  removed.reset();

  ASSERT_EQ(1u, scheduler.FullQueue().size());
  ASSERT_EQ(1u, scheduler.IncrementalQueue().size());
  EXPECT_EQ(kept.get(), scheduler.FullQueue().begin()->second);
  EXPECT_EQ(kept.get(), scheduler.IncrementalQueue().begin()->second);
  clock.Set(Moment(0, "12:00:10"));
  scheduler.OnTick();
  scheduler.OnTick();
  EXPECT_EQ((std::vector<std::string>{"Kept full"}), starter.started);
}

TEST_F(BackupSchedulerTest, TimerChecksOnceAfterThirtySecondsThenRepeats) {
  RecordingStarter starter;
  BackupScheduler scheduler(starter);
  EXPECT_FALSE(scheduler.Timer().IsRunning());

  scheduler.Start();
  EXPECT_TRUE(scheduler.Timer().IsRunning());
  EXPECT_TRUE(scheduler.Timer().IsOneShot());
  EXPECT_EQ(30000, scheduler.Timer().GetInterval());

  starter.busy = true;
  scheduler.OnTick();
  EXPECT_TRUE(scheduler.Timer().IsRunning());
  EXPECT_FALSE(scheduler.Timer().IsOneShot());
  EXPECT_EQ(30000, scheduler.Timer().GetInterval());

  scheduler.Stop();
  EXPECT_FALSE(scheduler.Timer().IsRunning());
}

}  // namespace
