// Next-run computation: weekdays, the exact minute, empty schedules, the cache,
// and days on which the clocks change.
#include <gtest/gtest.h>

#include "jobs/BackupJob.h"
#include "tests/jobs/record/JobTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using job_test::LocalText;
using job_test::Utc;

// Berlin: CET (UTC+1) in winter, CEST (UTC+2) from the last Sunday of March,
// 02:00 -> 03:00, to the last Sunday of October, 03:00 -> 02:00.
void UseBerlin() {
  job_test::UseTimeZone(testing_support::PathExists("/usr/share/zoneinfo/Europe/Berlin")
                            ? "Europe/Berlin"
                            : "CET-1CEST,M3.5.0,M10.5.0/3");
}

struct NextRunCase {
  const char* name;
  uint32_t days;
  const char* time;
  int64_t now;
  const char* expected;  // local time, or "unset"
};

void ExpectNextRuns(const NextRunCase* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const NextRunCase& c = cases[i];
    SCOPED_TRACE(c.name);
    job_test::ScopedClock clock(c.now);
    BackupJob job;
    job.ScheduleFull.Days = c.days;
    job.ScheduleIncremental.Days = c.days;
    if (c.time != nullptr) job.SetFullTime(c.time);
    if (c.time != nullptr) job.SetIncrementalTime(c.time);
    job.Modified = false;
    EXPECT_EQ(LocalText(job.NextFullBackupTime()), c.expected);
    EXPECT_EQ(LocalText(job.NextIncrementalBackupTime()), c.expected);
  }
}

TEST(BackupJobNextRun, FindsTheNextScheduledMoment) {
  UseBerlin();
  // 2024-01-08 is a Monday; 09:00 CET is 08:00 UTC.
  const NextRunCase cases[] = {
      {"exactly at the time counts", JobSchedule::Mon, "9:00", Utc(2024, 1, 8, 8, 0, 0),
       "2024-01-08 09:00:00 CET"},
      {"one second later is next week", JobSchedule::Mon, "9:00", Utc(2024, 1, 8, 8, 0, 1),
       "2024-01-15 09:00:00 CET"},
      {"later the same day", JobSchedule::Mon, "23:59", Utc(2024, 1, 8, 8, 0, 1),
       "2024-01-08 23:59:00 CET"},
      {"next listed weekday", JobSchedule::Wed | JobSchedule::Sat, "06:30",
       Utc(2024, 1, 8, 8, 0), "2024-01-10 06:30:00 CET"},
      {"Sunday wraps the week", JobSchedule::Sun, "00:00", Utc(2024, 1, 8, 8, 0),
       "2024-01-14 00:00:00 CET"},
      {"every day after the time", JobSchedule::AllDays, "07:00", Utc(2024, 1, 8, 8, 0),
       "2024-01-09 07:00:00 CET"},
      {"across a year end", JobSchedule::Tue, "12:00", Utc(2024, 12, 31, 12, 0),
       "2025-01-07 12:00:00 CET"},
      {"leap day", JobSchedule::Thu, "10:00", Utc(2024, 2, 27, 0, 0),
       "2024-02-29 10:00:00 CET"},
      {"no days", 0, "9:00", Utc(2024, 1, 8, 8, 0), "unset"},
      {"only bits outside the week", 0x80, "9:00", Utc(2024, 1, 8, 8, 0), "unset"},
  };
  ExpectNextRuns(cases, std::size(cases));
}

TEST(BackupJobNextRun, DaylightSavingDaysKeepTheClockTimeAndRunOnce) {
  UseBerlin();
  // Spring: 2024-03-31, 01:00 UTC, 02:00 CET -> 03:00 CEST; 02:30 does not exist.
  // Autumn: 2024-10-27, 01:00 UTC, 03:00 CEST -> 02:00 CET; 02:30 occurs twice.
  const NextRunCase cases[] = {
      {"missing time runs when the clocks jump", JobSchedule::Sun, "02:30",
       Utc(2024, 3, 31, 0, 0), "2024-03-31 03:00:00 CEST"},
      {"missing time: the jump itself counts", JobSchedule::Sun, "02:30",
       Utc(2024, 3, 31, 1, 0, 0), "2024-03-31 03:00:00 CEST"},
      {"missing time: after the jump is next week", JobSchedule::Sun, "02:30",
       Utc(2024, 3, 31, 1, 0, 1), "2024-04-07 02:30:00 CEST"},
      {"missing time from a week before", JobSchedule::Sun, "02:00",
       Utc(2024, 3, 25, 0, 0), "2024-03-31 03:00:00 CEST"},
      {"the first time after the gap", JobSchedule::Sun, "03:00", Utc(2024, 3, 31, 0, 0),
       "2024-03-31 03:00:00 CEST"},
      {"spring day after the change", JobSchedule::Sun, "09:00", Utc(2024, 3, 30, 10, 0),
       "2024-03-31 09:00:00 CEST"},
      {"stepping over the spring change", JobSchedule::Mon, "09:00", Utc(2024, 3, 30, 10, 0),
       "2024-04-01 09:00:00 CEST"},
      {"repeated time runs at its first occurrence", JobSchedule::Sun, "02:30",
       Utc(2024, 10, 26, 22, 0), "2024-10-27 02:30:00 CEST"},
      {"repeated time is not run a second time", JobSchedule::Sun, "02:30",
       Utc(2024, 10, 27, 0, 45), "2024-11-03 02:30:00 CET"},
      {"autumn time after the change", JobSchedule::Sun, "03:30", Utc(2024, 10, 26, 22, 0),
       "2024-10-27 03:30:00 CET"},
      {"stepping over the autumn change", JobSchedule::Mon, "09:00", Utc(2024, 10, 26, 10, 0),
       "2024-10-28 09:00:00 CET"},
      {"every day over the autumn change", JobSchedule::AllDays, "01:30",
       Utc(2024, 10, 26, 0, 0), "2024-10-27 01:30:00 CEST"},
  };
  ExpectNextRuns(cases, std::size(cases));
}

TEST(BackupJobNextRun, UnsetTimeWithDaysRunsAtMidnight) {
  UseBerlin();
  const NextRunCase cases[] = {
      {"malformed time", JobSchedule::Tue, "25:00", Utc(2024, 1, 8, 8, 0),
       "2024-01-09 00:00:00 CET"},
      {"no time given to a new job", JobSchedule::Tue, "bad", Utc(2024, 1, 9, 0, 0),
       "2024-01-16 00:00:00 CET"},
  };
  ExpectNextRuns(cases, std::size(cases));
}

TEST(BackupJobNextRun, CacheIsRecomputedWhenPassedOrModified) {
  UseBerlin();
  job_test::ScopedClock clock(Utc(2024, 1, 8, 7, 0));  // Monday 08:00 CET
  BackupJob job;
  job.SetFullDay(JobSchedule::Mon, true);
  job.SetFullTime("9:00");
  job.Modified = false;
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-08 09:00:00 CET");

  // A direct assignment without Modified keeps the cached moment while it lies ahead.
  job.ScheduleFull.Days = JobSchedule::Tue;
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-08 09:00:00 CET");
  job.Modified = true;
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-09 09:00:00 CET");

  job.Modified = false;
  job.ScheduleFull.Days = JobSchedule::Mon | JobSchedule::Tue;
  clock.Set(Utc(2024, 1, 9, 8, 0, 1));  // one second after the cached run
  EXPECT_EQ(LocalText(job.NextFullBackupTime()), "2024-01-15 09:00:00 CET");
  EXPECT_EQ(LocalText(job.ScheduleFull.NextRun), "2024-01-15 09:00:00 CET");
  EXPECT_EQ(LocalText(job.NextIncrementalBackupTime()), "unset");
}

}  // namespace
