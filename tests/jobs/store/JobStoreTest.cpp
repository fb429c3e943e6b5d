// The job store: titles of new jobs, copies, deletion and its definition
// files, and loading the definitions directory of the current directory.
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "jobs/JobDefinitionWriter.h"
#include "jobs/JobStore.h"
#include "jobs/JobUnscheduler.h"
#include "tests/jobs/DefinitionsDir.h"

using testing_support::WriteFile;

namespace {

std::string Definition(const std::string& title) {
  return "<Arkivault><BackupDef BackupTitle=\"" + title + "\"/></Arkivault>\n";
}

// Records each job taken off, reading it so that a job destroyed first shows
// up as a use after free.
struct RecordingUnscheduler : JobUnscheduler {
  void UnscheduleJob(BackupJob* job) override { titles += job->BackupTitle + "|"; }
  std::string titles;
};

// Collects the errors logged during its lifetime.
struct ErrorLog : wxLog {
  ErrorLog() : previous(wxLog::SetActiveTarget(this)) {}
  ~ErrorLog() override { wxLog::SetActiveTarget(previous); }
  void DoLogTextAtLevel(wxLogLevel level, const wxString& message) override {
    if (level == wxLOG_Error) text += message.ToStdString(wxConvUTF8) + "\n";
  }
  wxLog* previous;
  std::string text;
};

// Runs each test in a temporary current directory holding "BackupDef".
class JobStoreTest : public ::testing::Test {
 protected:
  // The titles of the jobs in order, each followed by "|".
  std::string Titles() const {
    std::string titles;
    for (const auto& job : jobs) titles += job->BackupTitle + "|";
    return titles;
  }

  wxInitializer toolkit;
  job_test::DefinitionsDir dir;
  JobList jobs;
  RecordingUnscheduler unscheduler;
  JobStore store{jobs, unscheduler};
};

TEST_F(JobStoreTest, NewJobTakesTheFirstFreeTitle) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "New Job"}, {{"New Job"}, "New Job (1)"}, {{"New Job (1)"}, "New Job"},
      {{"New Job", "New Job (1)"}, "New Job (2)"}, {{"New Job", "New Job (2)"}, "New Job (1)"},
      {{"new job", "NEW JOB", "New Job "}, "New Job"},
  };
  for (const auto& [existing, expected] : cases) {
    jobs.clear();
    for (const std::string& title : existing) jobs.push_back(std::make_unique<BackupJob>(title));
    BackupJob* job = store.CreateJob();
    ASSERT_EQ(jobs.size(), existing.size() + 1);
    EXPECT_EQ(job, jobs.back().get());
    EXPECT_EQ(job->BackupTitle + "|" + job->BackupName, expected + "|" + expected);
    EXPECT_EQ(job->IncludeFilePatterns, BackupJob::StringList{"*"});
    EXPECT_EQ(job->IncludeDirPatterns, BackupJob::StringList{"*"});
    EXPECT_TRUE(job->DefinitionPath.empty() && job->Active && job->NoOverwrite && job->CatchUp);
  }
}

TEST_F(JobStoreTest, CopiesKeepTheSettingsButNotTheDefinitionFile) {
  WriteFile("BackupDef/docs.xml",
            "<Arkivault><BackupDef BackupTitle=\"Docs\" BackupName=\"docs\"><Archives><Archive "
            "Path=\"a\"/></Archives><ScheduleFull Time=\"22:15\" Mon=\"1\"/></BackupDef></Arkivault>");
  WriteFile("BackupDef/Copy of Docs.xml", Definition("Someone else"));
  store.LoadJobs();
  ASSERT_EQ(Titles(), "Someone else|Docs|");
  const BackupJob& source = *jobs[1];
  store.CopyJob(1);
  const BackupJob* copyOfCopy = store.CopyJob(2);
  ASSERT_EQ(copyOfCopy, jobs.back().get());
  EXPECT_EQ(Titles(), "Someone else|Docs|Copy of Docs|Copy of Copy of Docs|");
  EXPECT_EQ(jobs[3]->BackupName, "Copy of Copy of docs");
  // Apart from title and archive name, the copies write what the source writes.
  for (BackupJob* copy : {jobs[2].get(), jobs[3].get()}) {
    EXPECT_TRUE(copy->DefinitionPath.empty() && copy->Modified);
    BackupJob renamed = *copy;
    renamed.BackupTitle = source.BackupTitle;
    renamed.BackupName = source.BackupName;
    EXPECT_EQ(JobDefinitionWriter::ToXml(renamed), JobDefinitionWriter::ToXml(source));
  }
  EXPECT_EQ(store.CopyJob(4), nullptr);
  EXPECT_EQ(source.DefinitionPath, "BackupDef/docs.xml");
  EXPECT_FALSE(source.Modified);
}

TEST_F(JobStoreTest, DeleteRemovesOnlyTheJobsOwnFile) {
  WriteFile("BackupDef/a.xml", Definition("A"));
  WriteFile("BackupDef/b.xml", Definition("B"));
  WriteFile("BackupDef/New Job.xml", Definition("Not New Job"));
  store.LoadJobs();
  ASSERT_EQ(Titles(), "Not New Job|A|B|");

  // Never saved: its title names an existing file, which stays.
  store.CreateJob();
  store.DeleteJob(3);
  EXPECT_EQ(dir.List(), "New Job.xml|a.xml|b.xml");
  // Renamed and saved: the file keeps its first name and goes with the job.
  jobs[1]->BackupTitle = "Renamed";
  ASSERT_TRUE(jobs[1]->Save());
  store.DeleteJob(1);
  EXPECT_EQ(dir.List(), "New Job.xml|b.xml");
  // A file already gone is no obstacle; an index past the end changes nothing.
  std::filesystem::remove("BackupDef/b.xml");
  store.DeleteJob(1);
  store.DeleteJob(5);
  EXPECT_EQ(Titles(), "Not New Job|");
  EXPECT_EQ(unscheduler.titles, "New Job|Renamed|B|");
}

TEST_F(JobStoreTest, LoadsDefinitionFilesInNameOrderAndReportsBrokenOnes) {
  ErrorLog log;
  // No BackupDef directory: no jobs, and nothing to report.
  std::filesystem::remove("BackupDef");
  WriteFile("a.xml", Definition("A"));
  store.LoadJobs();
  EXPECT_EQ(Titles() + log.text, "");

  WriteFile("BackupDef/b.xml", Definition("B"));
  WriteFile("BackupDef/a.xml", Definition("A"));
  WriteFile("BackupDef/notes.txt", Definition("Not a definition"));
  WriteFile("BackupDef/sub.xml/c.xml", Definition("In a subdirectory"));
  WriteFile("BackupDef/broken.xml", "<Arkivault><BackupDef");
  WriteFile("BackupDef/other.xml", "<Other><BackupDef/></Other>");
  store.LoadJobs();
  EXPECT_EQ(Titles(), "A|B|");
  EXPECT_EQ(jobs[0]->DefinitionPath, "BackupDef/a.xml");
  EXPECT_NE(log.text.find("'BackupDef/broken.xml' could not be read"), std::string::npos);
  EXPECT_NE(log.text.find("'BackupDef/other.xml' could not be read"), std::string::npos);
  EXPECT_EQ(log.text.find("sub.xml"), std::string::npos) << log.text;
  EXPECT_EQ(dir.List(), "a.xml|b.xml|broken.xml|notes.txt|other.xml|sub.xml");
}

}  // namespace
