// The job record: construction, time texts, the setters' Modified rules,
// suffix and priority texts, Clone.
#include <functional>

#include <gtest/gtest.h>

#include "jobs/BackupJob.h"
#include "tests/jobs/record/JobTestSupport.h"

namespace {

TEST(BackupJobRecord, BlankAndNewJobsDifferInPatternsAndTimes) {
  const BackupJob blank;
  const BackupJob named("Photos");
  EXPECT_EQ(named.BackupTitle + "|" + named.BackupName, "Photos|Photos");
  EXPECT_TRUE(blank.IncludeFilePatterns.empty() && blank.IncludeDirPatterns.empty());
  EXPECT_EQ(named.IncludeFilePatterns, BackupJob::StringList{"*"});
  EXPECT_EQ(named.IncludeDirPatterns, BackupJob::StringList{"*"});
  // Both show 00:00; only the blank job's times are set.
  EXPECT_TRUE(blank.ScheduleFull.HasTime() && blank.ScheduleIncremental.HasTime());
  EXPECT_FALSE(named.ScheduleFull.HasTime() || named.ScheduleIncremental.HasTime());
  for (const BackupJob* job : {&blank, &named}) {
    EXPECT_EQ(job->FullTimeText() + "|" + job->IncrementalTimeText(), "00:00|00:00");
    EXPECT_TRUE(job->Active && job->NoOverwrite && !job->Modified);
    EXPECT_EQ(job->CompressionLevel, -1);
  }
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
  const std::pair<const char*, SuffixKind> suffixes[] = {
      {"Weekday", SuffixKind::Weekday}, {"YearWeek", SuffixKind::YearWeek},
      {"Date", SuffixKind::Date},       {"date", SuffixKind::None},
      {"Date ", SuffixKind::None},      {"", SuffixKind::None}};
  for (const auto& [text, kind] : suffixes) {
    BackupJob job;
    job.Suffix = SuffixKind::Date;
    job.SetSuffixText(text);
    EXPECT_EQ(job.Suffix, kind) << text;
  }
  const std::pair<const char*, JobPriority> priorities[] = {
      {"Min", JobPriority::Min}, {"Max", JobPriority::Max}, {"", JobPriority::Default},
      {"max", JobPriority::Default}};
  for (const auto& [text, priority] : priorities) {
    BackupJob job;
    job.Priority = JobPriority::Min;
    job.SetPriorityText(text);
    EXPECT_EQ(job.Priority, priority) << text;
  }
  BackupJob job;
  const char* const suffixTexts[] = {"None", "Weekday", "YearWeek", "Date", "None"};
  const char* const priorityTexts[] = {"Min", "Default", "Max", "Default", "Default"};
  for (int32_t value = 0; value <= 4; ++value) {
    job.Suffix = static_cast<SuffixKind>(value);
    job.Priority = static_cast<JobPriority>(value);
    EXPECT_EQ(job.SuffixText(), suffixTexts[value]) << value;
    EXPECT_EQ(job.PriorityText(), priorityTexts[value]) << value;
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
