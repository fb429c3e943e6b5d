// The scheduler on a simulated clock: which jobs are queued, which start on a
// check, what is skipped, and where the queues stand after each check; and
// one scheduled run through the real worker thread.
#include <memory>
#include <string>
#include <vector>

#include "scheduler/BackupScheduler.h"
#include "scheduler/OverdueJobs.h"
#include "scheduler/RunnerJobStarter.h"
#include "tests/engine/run/RunTestSupport.h"

namespace {

constexpr uint32_t kMon = JobSchedule::Mon;

// Local time on Monday 8 January 2024 plus `day` days, at "HH:MM:SS".
wxDateTime Moment(int day, const char* clockTime) {
  wxDateTime moment(8, wxDateTime::Jan, 2024);
  moment.ParseTime(clockTime);
  return moment.Add(wxDateSpan::Days(day));
}

// The simulated clock of every test in this program, installed for its whole life.
platform::ManualClock clock(0);
[[maybe_unused]] const bool clockInstalled = (platform::Clock::Install(&clock), true);

// Sets the simulated clock to Moment(day, clockTime).
void SetClock(int day, const char* clockTime) { clock.Set(Moment(day, clockTime).GetTicks()); }

// Stands in for the backup runner: busy when told so, and from the moment it
// accepts a start until told otherwise. Records "<tick>: <title> full|incremental".
struct RecordingStarter : JobStarter {
  bool IsBusy() const override { return busy; }
  bool Start(BackupJob* job, bool full, RunTrigger trigger) override {
    if (busy) return false;
    busy = true;
    started.push_back(std::to_string(tick) + ": " + job->BackupTitle +
                      (full ? " full" : " incremental") +
                      (trigger == RunTrigger::CatchUp ? " catch-up" : ""));
    return true;
  }
  bool busy = false;
  size_t tick = 0;
  std::vector<std::string> started;
};

// A job with a full and an incremental schedule at the same time of day.
struct JobSpec { const char* title; bool active; uint32_t fullDays, incrementalDays; const char* time; };


std::unique_ptr<BackupJob> MakeJob(const JobSpec& spec) {
  auto job = std::make_unique<BackupJob>(spec.title);
  job->Active = spec.active;
  job->ScheduleFull.Days = spec.fullDays;
  job->ScheduleIncremental.Days = spec.incrementalDays;
  job->SetFullTime(spec.time);
  job->SetIncrementalTime(spec.time);
  job->Modified = false;
  return job;
}

// A check at Moment(day, time) with the runner busy or idle before it.
struct Tick { int day; const char* time; bool busy; };

struct Case {
  const char* name;
  std::vector<JobSpec> jobs;  // queued at `queuedAt` on day 0
  size_t fullQueued, incrementalQueued;
  std::vector<Tick> ticks;
  std::vector<std::string> starts;  // "<tick index>: <title> full|incremental"
  const char* queuedAt = "09:59:00";
  // The first job is queued once more by mistake, then taken off and destroyed.
  bool unscheduleFirst = false;
  // Every job makes up missed runs; each kind last succeeded that day at 10:00.
  bool catchUp = false;
  int lastSuccessDay = -7;
};

const Case kCases[] = {
    {"inactive job never starts", {{"A", false, 0x7f, 0x7f, "10:00"}}, 0, 0,
     {{0, "10:00:10", false}, {1, "10:00:10", false}}, {}},
    {"no weekday bits: not queued for that kind", {{"A", true, 0, kMon, "10:00"}}, 0, 1,
     {{0, "10:00:10", false}}, {"0: A incremental"}},
    {"missed runs are not made up", {{"A", true, kMon, 0, "10:00"}}, 1, 0,
     {{0, "10:05:30", false}, {6, "10:00:10", false}, {7, "10:00:20", false}}, {"2: A full"}, "10:05:00"},
    {"due while busy: starts on the first check after the run", {{"A", true, kMon, 0, "10:00"}}, 1, 0,
     {{0, "10:00:10", true}, {0, "10:00:40", true}, {0, "10:20:10", false}}, {"2: A full"}},
    {"two due at once: both run, the earlier first, the other after it",
     {{"B", true, kMon, 0, "10:01"}, {"A", true, kMon, 0, "10:00"}}, 2, 0,
     {{0, "10:01:10", false}, {0, "10:01:40", true}, {0, "10:02:10", false},
      {7, "10:01:10", false}, {7, "10:01:40", false}},
     {"0: A full", "2: B full", "3: A full", "4: B full"}},
    {"equal times: the job queued first starts first",
     {{"B", true, kMon, 0, "10:00"}, {"A", true, kMon, kMon, "10:00"}}, 2, 1,
     {{0, "10:00:10", false}, {0, "10:00:40", false}, {0, "10:01:10", false}}, {"0: B full", "1: A full"}},

    {"full and incremental at the same time: full wins", {{"A", true, kMon, kMon, "10:00"}}, 1, 1,
     {{0, "10:00:10", false}, {0, "10:00:40", false}}, {"0: A full"}},
    {"a check exactly at the due time starts the job once", {{"A", true, kMon, 0x1f, "10:00"}}, 1, 1,
     {{0, "10:00:00", false}, {0, "10:00:30", false}, {1, "10:00:00", false}}, {"0: A full", "2: A incremental"}},
    {"unschedule takes every entry of the job off",
     {{"Removed", true, kMon, kMon, "10:00"}, {"Kept", true, kMon, kMon, "10:00"}}, 1, 1,
     {{0, "10:00:10", false}}, {"0: Kept full"}, "09:59:00", true},
    // Missed runs are made up at the first check, once however many were missed.
    {"CatchUp, started 3 days after a missed full: one full", {{"A", true, kMon, 0, "10:00"}}, 1, 0,
     {{3, "12:00:30", false}, {3, "12:01:00", false}}, {"0: A full catch-up"}, "12:00:00", false, true},
    {"CatchUp no: nothing is made up", {{"A", true, kMon, 0, "10:00"}}, 1, 0,
     {{3, "12:00:30", false}}, {}, "12:00:00"},
    {"CatchUp, nothing missed since the last success", {{"A", true, kMon, 0, "10:00"}}, 1, 0,
     {{3, "12:00:30", false}}, {}, "12:00:00", false, true, 0},
    {"CatchUp, a 2 h clock jump over a due time: looked for as a missed run",
     {{"A", true, 0x7f, 0, "12:00"}}, 1, 0, {{0, "11:00:30", false}, {0, "11:01:00", false}, {0, "13:01:00", false}},
     {"2: A full catch-up"}, "11:00:00", false, true, 0},
    {"CatchUp, both kinds missed: one full, then one incremental",
     {{"A", true, kMon, 0x7f, "10:00"}}, 1, 1, {{3, "12:00:30", false}, {3, "12:01:00", false}},
     {"0: A full catch-up", "1: A incremental catch-up"}, "12:00:00", false, true},
};

TEST(BackupSchedulerTest, StartsDueJobsAndKeepsEveryQueuedTimeAfterTheCheck) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetClock(0, c.queuedAt);
    RecordingStarter starter;
    const int64_t lastSuccess = Moment(c.lastSuccessDay, "10:00:00").GetTicks();
    BackupScheduler scheduler(starter, [&](const BackupJob&, bool) { return lastSuccess; });
    std::vector<std::unique_ptr<BackupJob>> jobs;
    for (const JobSpec& spec : c.jobs) {
      jobs.push_back(MakeJob(spec));
      jobs.back()->CatchUp = c.catchUp;
      scheduler.ScheduleJob(jobs.back().get());
    }
    if (c.unscheduleFirst) {
      scheduler.ScheduleJob(jobs[0].get());
      scheduler.UnscheduleJob(jobs[0].get());
      jobs[0].reset();
    }
    for (size_t i = 0; i < c.ticks.size(); ++i) {
      const wxDateTime now = Moment(c.ticks[i].day, c.ticks[i].time);
      clock.Set(now.GetTicks());
      starter.busy = c.ticks[i].busy;
      starter.tick = i;
      scheduler.OnTick();
      EXPECT_EQ(c.fullQueued, scheduler.FullQueue().size()) << "tick " << i;
      EXPECT_EQ(c.incrementalQueued, scheduler.IncrementalQueue().size()) << "tick " << i;
      // A check while a run is going on leaves the queues alone; any other
      // check leaves only times after it (a queue's first time is its earliest).
      for (const auto* queue : {&scheduler.FullQueue(), &scheduler.IncrementalQueue()})
        EXPECT_TRUE(c.ticks[i].busy || queue->empty() || queue->begin()->first > now) << i;
    }
    EXPECT_EQ(c.starts, starter.started);
  }
}

// Overdue: no success for more than twice the longest gap between two
// scheduled weekdays; each job is named once.
TEST(OverdueJobsTest, TwiceTheLongestGapWithoutASuccess) {
  constexpr int64_t kNow = 1700000000, kDay = 86400;
  const struct { uint32_t days; int64_t age; bool overdue; } rows[] = {  // age: since the last success

      {kMon, 14 * kDay, false},         {kMon, 14 * kDay + 1, true},
      {0x7f, 2 * kDay - 3600, false},   {0x7f, 2 * kDay + 1, true},
      {kMon | JobSchedule::Thu, 7 * kDay, false},  // gaps 3 and 4 days
      {kMon | JobSchedule::Thu, 8 * kDay + 1, true},
      {0x1f, 5 * kDay, false},          {0x1f, 6 * kDay + 1, true},  // Friday to Monday
      {0, 100 * kDay, false},           {0x80, 100 * kDay, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.overdue, OverdueJobs::IsOverdue(row.days, kNow - row.age, kNow))
        << row.days << " " << row.age;
  }
  JobList jobs;
  jobs.push_back(MakeJob({"Weekly", true, kMon, 0, "10:00"}));
  jobs.push_back(MakeJob({"Off", false, kMon, kMon, "10:00"}));
  jobs.push_back(MakeJob({"Daily", true, 0, 0x7f, "10:00"}));
  OverdueJobs overdue([](const BackupJob&, bool) { return kNow - 15 * kDay; });
  EXPECT_EQ((std::vector<wxString>{"'Weekly': no full backup for 15 days.",
                                   "'Daily': no incremental backup for 15 days."}),
            overdue.NewWarnings(jobs, kNow));
  EXPECT_TRUE(overdue.NewWarnings(jobs, kNow + kDay).empty());
}

TEST(ScheduledRunTest, JobDueAMinuteAheadRunsThroughTheWorkerThread) {
  run_test::Sandbox t;
  testing_support::WriteFile(t.source + "/d/b.txt", std::string(100000, 'b'));
  t.job.ScheduleFull.Days = kMon;
  t.job.SetFullTime("10:00");
  RunnerJobStarter starter(t.runner);
  BackupScheduler scheduler(starter);
  SetClock(0, "09:59:00");
  scheduler.ScheduleJob(&t.job);
  // The timer checks once after 30 seconds, then every 30 seconds.
  scheduler.Start();
  EXPECT_TRUE(scheduler.Timer().IsRunning() && scheduler.Timer().IsOneShot());
  EXPECT_EQ(30000, scheduler.Timer().GetInterval());
  SetClock(0, "10:00:20");
  scheduler.OnTick();
  EXPECT_TRUE(scheduler.Timer().IsRunning() && !scheduler.Timer().IsOneShot());
  EXPECT_EQ(30000, scheduler.Timer().GetInterval());
  EXPECT_EQ(&t.job, t.runner.Job());
  EXPECT_TRUE(t.runner.FullBackup());
  t.WaitForEnd();
  scheduler.Stop();
  EXPECT_FALSE(scheduler.Timer().IsRunning());
  EXPECT_TRUE(t.runner.Succeeded());
  EXPECT_ZIP_VALID(t.target + "/Docs.zip");
  EXPECT_EQ(1u, testing_support::ExternalEntries(t.target + "/Docs.zip").count("d/b.txt"));
}

}  // namespace
