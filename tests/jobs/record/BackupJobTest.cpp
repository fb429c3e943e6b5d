// The job record: construction, time texts, the setters' Modified rules,
// suffix and priority texts, Clone.
#include <functional>

#include <gtest/gtest.h>

#include "jobs/BackupJob.h"
#include "tests/jobs/record/JobTestSupport.h"

namespace {

TEST(BackupJobRecord, BlankAndNewJobsStartAsDocumented) {
  const BackupJob blank;
  const BackupJob named("Photos");

  EXPECT_EQ(blank.BackupTitle, "");
  EXPECT_EQ(named.BackupTitle, "Photos");
  EXPECT_EQ(named.BackupName, "Photos");
  EXPECT_TRUE(blank.IncludeFilePatterns.empty());
  EXPECT_EQ(named.IncludeFilePatterns, BackupJob::StringList{"*"});
  EXPECT_EQ(named.IncludeDirPatterns, BackupJob::StringList{"*"});
  EXPECT_TRUE(named.ExcludeFilePatterns.empty());
  for (const BackupJob* job : {&blank, &named}) {
    EXPECT_TRUE(job->DefinitionPath.empty());
    EXPECT_TRUE(job->Active);
    EXPECT_TRUE(job->NoOverwrite);
    EXPECT_FALSE(job->Modified);
    EXPECT_EQ(job->CompressionLevel, -1);
    EXPECT_EQ(job->Suffix, SuffixKind::None);
    EXPECT_EQ(job->Priority, JobPriority::Default);
    EXPECT_EQ(job->ScheduleFull.Days, 0u);
    EXPECT_FALSE(job->ScheduleFull.NextRun.IsValid());
    // Both show 00:00; only the blank job's time is actually set.
    EXPECT_EQ(job->FullTimeText(), "00:00");
    EXPECT_EQ(job->IncrementalTimeText(), "00:00");
  }
  EXPECT_TRUE(blank.ScheduleFull.HasTime());
  EXPECT_TRUE(blank.ScheduleIncremental.HasTime());
  EXPECT_FALSE(named.ScheduleFull.HasTime());
  EXPECT_FALSE(named.ScheduleIncremental.HasTime());
}

TEST(BackupJobRecord, ParsesTimeTexts) {
  struct Case {
    const char* text;
    const char* expected;  // nullptr: unset
  };
  const Case cases[] = {
      {"8:5", "08:05"},       {"7:30pm", "07:30"},   {"24:00", nullptr},  {"0730", nullptr},
      {"00:00", "00:00"},     {"23:59", "23:59"},    {"12:60", nullptr},  {"-1:00", nullptr},
      {" 9: 7", "09:07"},     {"+9:-0", "09:00"},    {":", "00:00"},      {"", nullptr},
      {"1:2:3", "01:02"},     {"ab:cd", "00:00"},    {"07 :05", "07:05"}, {"7:5 ", "07:05"},
      {"99999999999999999999:00", nullptr},         {"5:99999999999999999999", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const wxDateTime parsed = JobSchedule::ParseTime(c.text);
    ASSERT_EQ(parsed.IsValid(), c.expected != nullptr);
    JobSchedule schedule;
    schedule.Time = parsed;
    EXPECT_EQ(schedule.TimeText(), c.expected ? c.expected : "00:00");
    if (c.expected) {
      EXPECT_EQ(parsed.GetSecond(), 0);
    }
  }
}

TEST(BackupJobRecord, SettersSetModifiedOnlyOnChange) {
  struct Case {
    const char* name;
    bool named;  // start from a new job rather than a blank one
    std::function<void(BackupJob&)> change;
    bool modified;
    std::string fullTime;
    uint32_t fullDays;
  };
  const Case cases[] = {
      {"00:00 on a new job replaces the unset time", true,
       [](BackupJob& j) { j.SetFullTime("00:00"); }, true, "00:00", 0},
      {"00:00 on a blank job is no change", false,
       [](BackupJob& j) { j.SetFullTime("00:00"); }, false, "00:00", 0},
      {"0:0 is the same time as 00:00", false, [](BackupJob& j) { j.SetFullTime("0:0"); },
       false, "00:00", 0},
      {"a new time", false, [](BackupJob& j) { j.SetFullTime("8:5"); }, true, "08:05", 0},
      {"a malformed time unsets a set one", false,
       [](BackupJob& j) { j.SetFullTime("25:00"); }, true, "00:00", 0},
      {"the incremental time leaves the full one", false,
       [](BackupJob& j) { j.SetIncrementalTime("13:45"); }, true, "00:00", 0},
      {"a day that is already clear", false,
       [](BackupJob& j) { j.SetFullDay(JobSchedule::Mon, false); }, false, "00:00", 0},
      {"a day switched on", false, [](BackupJob& j) { j.SetFullDay(JobSchedule::Wed, true); },
       true, "00:00", JobSchedule::Wed},
      {"a day switched on twice", false,
       [](BackupJob& j) {
         j.SetFullDay(JobSchedule::Sun, true);
         j.Modified = false;
         j.SetFullDay(JobSchedule::Sun, true);
       },
       false, "00:00", JobSchedule::Sun},
      {"a day switched off", false,
       [](BackupJob& j) {
         j.ScheduleFull.Days = JobSchedule::Mon | JobSchedule::Fri;
         j.SetFullDay(JobSchedule::Mon, false);
       },
       true, "00:00", JobSchedule::Fri},
      {"an incremental day leaves the full days", false,
       [](BackupJob& j) { j.SetIncrementalDay(JobSchedule::Sat, true); }, true, "00:00", 0},
      {"suffix and priority texts never mark", false,
       [](BackupJob& j) {
         j.SetSuffixText("Date");
         j.SetPriorityText("Max");
       },
       false, "00:00", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BackupJob job = c.named ? BackupJob("Job") : BackupJob();
    c.change(job);
    EXPECT_EQ(job.Modified, c.modified);
    EXPECT_EQ(job.FullTimeText(), c.fullTime);
    EXPECT_EQ(job.ScheduleFull.Days, c.fullDays);
  }
  BackupJob job;
  job.SetFullTime("24:00");
  EXPECT_FALSE(job.ScheduleFull.HasTime());
  job.SetIncrementalDay(JobSchedule::Sat, true);
  EXPECT_EQ(job.ScheduleIncremental.Days, JobSchedule::Sat);
}

TEST(BackupJobRecord, SuffixAndPriorityTexts) {
  struct SuffixCase {
    const char* text;
    SuffixKind kind;
  };
  for (const SuffixCase& c : {SuffixCase{"Weekday", SuffixKind::Weekday},
                              SuffixCase{"YearWeek", SuffixKind::YearWeek},
                              SuffixCase{"Date", SuffixKind::Date},
                              SuffixCase{"None", SuffixKind::None},
                              SuffixCase{"date", SuffixKind::None},
                              SuffixCase{"Date ", SuffixKind::None},
                              SuffixCase{"", SuffixKind::None}}) {
    SCOPED_TRACE(c.text);
    BackupJob job;
    job.Suffix = SuffixKind::Date;
    job.SetSuffixText(c.text);
    EXPECT_EQ(job.Suffix, c.kind);
  }
  struct PriorityCase {
    const char* text;
    JobPriority priority;
  };
  for (const PriorityCase& c : {PriorityCase{"Min", JobPriority::Min},
                                PriorityCase{"Max", JobPriority::Max},
                                PriorityCase{"Default", JobPriority::Default},
                                PriorityCase{"", JobPriority::Default},
                                PriorityCase{"max", JobPriority::Default}}) {
    SCOPED_TRACE(c.text);
    BackupJob job;
    job.Priority = JobPriority::Min;
    job.SetPriorityText(c.text);
    EXPECT_EQ(job.Priority, c.priority);
  }
  BackupJob job;
  const std::pair<int32_t, const char*> suffixTexts[] = {
      {0, "None"}, {1, "Weekday"}, {2, "YearWeek"}, {3, "Date"}, {4, "None"}, {-1, "None"}};
  for (const auto& [value, text] : suffixTexts) {
    job.Suffix = static_cast<SuffixKind>(value);
    EXPECT_EQ(job.SuffixText(), text) << value;
  }
  const std::pair<int32_t, const char*> priorityTexts[] = {
      {0, "Min"}, {1, "Default"}, {2, "Max"}, {3, "Default"}, {-1, "Default"}};
  for (const auto& [value, text] : priorityTexts) {
    job.Priority = static_cast<JobPriority>(value);
    EXPECT_EQ(job.PriorityText(), text) << value;
  }
}

TEST(BackupJobRecord, CloneCopiesEveryFieldIndependently) {
  job_test::ScopedClock clock(job_test::Utc(2024, 1, 8, 6, 0));
  BackupJob job("Documents");
  job.DefinitionPath = "BackupDef/Documents.xml";
  job.Description = "every <day>";
  job.Archives = {"Work", ""};
  job.CompressionLevel = 9;
  job.SetFullDay(JobSchedule::Tue, true);
  job.SetFullTime("10:15");
  job.NextFullBackupTime();
  ASSERT_TRUE(job.Modified);

  const std::unique_ptr<BackupJob> clone = job.Clone();
  EXPECT_TRUE(clone->Modified);
  EXPECT_EQ(clone->DefinitionPath, job.DefinitionPath);
  EXPECT_EQ(clone->BackupTitle, job.BackupTitle);
  EXPECT_EQ(clone->Description, job.Description);
  EXPECT_EQ(clone->Archives, job.Archives);
  EXPECT_EQ(clone->CompressionLevel, 9);
  EXPECT_EQ(clone->FullTimeText(), "10:15");
  EXPECT_EQ(clone->ScheduleFull.Days, JobSchedule::Tue);
  EXPECT_EQ(clone->ScheduleFull.NextRun, job.ScheduleFull.NextRun);

  clone->Archives.push_back("More");
  clone->SetFullTime("11:00");
  EXPECT_EQ(job.Archives.size(), 2u);
  EXPECT_EQ(job.FullTimeText(), "10:15");
}

}  // namespace
