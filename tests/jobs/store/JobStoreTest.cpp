// The job store: titles of new jobs, copies, deletion and its definition
// files, and loading the definitions directory of the current directory.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "jobs/JobStore.h"
#include "jobs/JobUnscheduler.h"
#include "tests/support/TempDir.h"

using testing_support::PathExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::string Definition(const std::string& title) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Arkivault><BackupDef BackupTitle=\"" +
         title + "\" BackupName=\"" + title + "-archive\"/></Arkivault>\n";
}

// Records each job taken off, reading it so a job destroyed first shows up
// as a use after free.
class RecordingUnscheduler : public JobUnscheduler {
 public:
  void UnscheduleJob(BackupJob* job) override { titles.push_back(job->BackupTitle); }
  std::vector<std::string> titles;
};

// Error texts logged while it is installed.
class ErrorLog : public wxLog {
 public:
  ErrorLog() : previous_(wxLog::SetActiveTarget(this)) {}
  ~ErrorLog() override { wxLog::SetActiveTarget(previous_); }
  std::string text;

 protected:
  void DoLogTextAtLevel(wxLogLevel level, const wxString& message) override {
    if (level == wxLOG_Error) text += message.ToStdString(wxConvUTF8) + "\n";
  }

 private:
  wxLog* previous_;
};

// Runs each test in a temporary current directory holding "BackupDef"; every
// test is its own process, so changing directory is safe.
class JobStoreTest : public ::testing::Test {
 protected:
  JobStoreTest() : previous_(std::filesystem::current_path()) {
    std::filesystem::create_directory(tmp / "BackupDef");
    std::filesystem::current_path(tmp.path());
  }
  ~JobStoreTest() override { std::filesystem::current_path(previous_); }

  std::vector<std::string> JobTitles() const {
    std::vector<std::string> titles;
    for (const auto& job : jobs) titles.push_back(job->BackupTitle);
    return titles;
  }

  std::vector<std::string> DefinitionFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tmp / "BackupDef")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  wxInitializer toolkit;
  testing_support::TempDir tmp;
  JobList jobs;
  RecordingUnscheduler unscheduler;
  JobStore store{jobs, unscheduler};

 private:
  std::filesystem::path previous_;
};

using Names = std::vector<std::string>;

TEST_F(JobStoreTest, NewJobTakesTheFirstFreeTitle) {
  struct Case {
    Names existing;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "New Job"},
      {{"New Job"}, "New Job (1)"},
      {{"New Job", "New Job (1)"}, "New Job (2)"},
      {{"New Job", "New Job (2)"}, "New Job (1)"},
      {{"New Job (1)"}, "New Job"},
      {{"new job", "NEW JOB", "New Job "}, "New Job"},
  };
  for (const Case& c : cases) {
    jobs.clear();
    for (const std::string& title : c.existing) jobs.push_back(std::make_unique<BackupJob>(title));
    BackupJob* job = store.CreateJob();
    ASSERT_EQ(c.existing.size() + 1, jobs.size());
    EXPECT_EQ(job, jobs.back().get());
    EXPECT_EQ(c.expected, job->BackupTitle);
    EXPECT_EQ(c.expected, job->BackupName);
    EXPECT_EQ(std::vector<std::string>{"*"}, job->IncludeFilePatterns);
    EXPECT_TRUE(job->DefinitionPath.empty());
    EXPECT_FALSE(job->Modified);
  }
  EXPECT_TRUE(store.IsTitleInUse("New Job"));
  EXPECT_FALSE(store.IsTitleInUse("New job"));
}

TEST_F(JobStoreTest, CopiesKeepTheSettingsUnderAPrefixedTitle) {
  jobs.push_back(std::make_unique<BackupJob>("Docs"));
  BackupJob& source = *jobs[0];
  source.BackupName = "docs";
  source.DefinitionPath = "BackupDef/docs.xml";
  source.CompressionLevel = 9;
  source.ScheduleFull.Days = JobSchedule::Mon | JobSchedule::Fri;
  source.SetFullTime("22:15");
  source.Modified = false;

  store.CopyJob(0);
  store.CopyJob(0);
  BackupJob* copyOfCopy = store.CopyJob(2);

  EXPECT_EQ((Names{"Docs", "Copy of Docs", "Copy of Docs", "Copy of Copy of Docs"}), JobTitles());
  EXPECT_EQ(jobs[3].get(), copyOfCopy);
  EXPECT_EQ("Copy of Copy of docs", copyOfCopy->BackupName);
  for (size_t i = 1; i < jobs.size(); ++i) {
    EXPECT_TRUE(jobs[i]->DefinitionPath.empty());
    EXPECT_TRUE(jobs[i]->Modified);
    EXPECT_EQ(9, jobs[i]->CompressionLevel);
    EXPECT_EQ(JobSchedule::Mon | JobSchedule::Fri, jobs[i]->ScheduleFull.Days);
    EXPECT_EQ("22:15", jobs[i]->FullTimeText());
  }
  EXPECT_EQ("BackupDef/docs.xml", source.DefinitionPath);
  EXPECT_FALSE(source.Modified);
  EXPECT_EQ(nullptr, store.CopyJob(4));
}

TEST_F(JobStoreTest, CopySavesToAFileOfItsOwnAndLeavesTheSourceFileAlone) {
  WriteFile(tmp / "BackupDef/docs.xml", Definition("Docs"));
  WriteFile(tmp / "BackupDef/Copy of Docs.xml", Definition("Someone else"));
  store.LoadJobs();
  ASSERT_EQ((Names{"Someone else", "Docs"}), JobTitles());

  ASSERT_TRUE(store.CopyJob(1)->Save());
  ASSERT_TRUE(store.CopyJob(1)->Save());

  EXPECT_EQ("BackupDef/Copy of Docs (2).xml", jobs[2]->DefinitionPath);
  EXPECT_EQ("BackupDef/Copy of Docs (3).xml", jobs[3]->DefinitionPath);
  EXPECT_EQ(Definition("Docs"), ReadFile(tmp / "BackupDef/docs.xml"));
  EXPECT_EQ(Definition("Someone else"), ReadFile(tmp / "BackupDef/Copy of Docs.xml"));
  BackupJob reloaded;
  ASSERT_TRUE(reloaded.Load("BackupDef/Copy of Docs (2).xml"));
  EXPECT_EQ("Copy of Docs", reloaded.BackupTitle);
  EXPECT_EQ("Copy of Docs-archive", reloaded.BackupName);
}

TEST_F(JobStoreTest, DeleteRemovesOnlyTheJobsOwnFile) {
  WriteFile(tmp / "BackupDef/a.xml", Definition("A"));
  WriteFile(tmp / "BackupDef/b.xml", Definition("B"));
  WriteFile(tmp / "BackupDef/New Job.xml", Definition("Not loaded as New Job"));
  store.LoadJobs();
  ASSERT_EQ((Names{"Not loaded as New Job", "A", "B"}), JobTitles());

  // Never saved: its title names an existing file, which stays.
  store.CreateJob();
  store.DeleteJob(3);
  EXPECT_EQ((Names{"New Job.xml", "a.xml", "b.xml"}), DefinitionFiles());

  // Renamed and saved: the file keeps its first name and goes with the job.
  jobs[1]->BackupTitle = "Renamed";
  ASSERT_TRUE(jobs[1]->Save());
  store.DeleteJob(1);
  EXPECT_EQ((Names{"New Job.xml", "b.xml"}), DefinitionFiles());
  EXPECT_EQ((Names{"Not loaded as New Job", "B"}), JobTitles());

  // A file already gone is no obstacle; an index past the end changes nothing.
  std::filesystem::remove(tmp / "BackupDef/b.xml");
  store.DeleteJob(1);
  store.DeleteJob(5);
  EXPECT_EQ((Names{"Not loaded as New Job"}), JobTitles());
  EXPECT_EQ((Names{"New Job", "Renamed", "B"}), unscheduler.titles);
}

TEST_F(JobStoreTest, LoadsDefinitionFilesInNameOrderAndReportsBrokenOnes) {
  WriteFile(tmp / "BackupDef/b.xml", Definition("B"));
  WriteFile(tmp / "BackupDef/a.xml", Definition("A"));
  WriteFile(tmp / "BackupDef/notes.txt", Definition("Not a definition"));
  WriteFile(tmp / "BackupDef/sub.xml/c.xml", Definition("In a subdirectory"));
  WriteFile(tmp / "BackupDef/broken.xml", "<Arkivault><BackupDef");
  WriteFile(tmp / "BackupDef/other.xml", "<Other><BackupDef/></Other>");
  ErrorLog log;

  store.LoadJobs();

  EXPECT_EQ((Names{"A", "B"}), JobTitles());
  EXPECT_EQ("BackupDef/a.xml", jobs[0]->DefinitionPath);
  EXPECT_EQ("A-archive", jobs[0]->BackupName);
  EXPECT_FALSE(jobs[0]->Modified);
  EXPECT_NE(std::string::npos, log.text.find("'BackupDef/broken.xml'")) << log.text;
  EXPECT_NE(std::string::npos, log.text.find("'BackupDef/other.xml'")) << log.text;
  EXPECT_EQ(Definition("B"), ReadFile(tmp / "BackupDef/b.xml"));
  EXPECT_TRUE(PathExists(tmp / "BackupDef/broken.xml"));
}

TEST_F(JobStoreTest, NoDefinitionsDirectoryGivesNoJobsAndSavesFail) {
  testing_support::TempDir elsewhere;
  std::filesystem::current_path(elsewhere.path());
  WriteFile(elsewhere / "a.xml", Definition("A"));
  ErrorLog log;

  store.LoadJobs();
  EXPECT_TRUE(jobs.empty());
  EXPECT_EQ("", log.text);

  EXPECT_FALSE(store.CreateJob()->Save());
  EXPECT_FALSE(PathExists(elsewhere / "BackupDef"));
}

}  // namespace
