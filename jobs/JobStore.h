// The operations on the application's jobs sequence: filling it from the
// definition files at start-up, creating, copying and deleting jobs. None of
// them saves a job; a new or copied job reaches the disk at its first Save,
// which picks a free file name of its own.
#pragma once

#include <cstddef>
#include <string>

#include "jobs/JobList.h"

class JobUnscheduler;

class JobStore {
 public:
  // `jobs` and `unscheduler` are not owned and must outlive the store.
  JobStore(JobList& jobs, JobUnscheduler& unscheduler);

  // Appends a job for every definition file "BackupDef/*.xml" below the
  // current directory, in file-name order. A file that does not load is
  // reported with its path and left out. No directory gives no jobs.
  void LoadJobs();

  // Some job has exactly this title (case-sensitive).
  bool IsTitleInUse(const std::string& title) const;

  // Appends a new job titled "New Job", or "New Job (N)" with the smallest
  // N >= 1 whose title is free, and returns it.
  BackupJob* CreateJob();

  // Appends a modified copy of the job at `index` with "Copy of " before its
  // title and archive name and no definition file yet, and returns it; null
  // when `index` is out of range.
  BackupJob* CopyJob(size_t index);

  // Takes the job at `index` off the scheduler, removes it from the sequence,
  // deletes its definition file (a job never saved has none; a failure to
  // remove is ignored) and destroys it. Does nothing for an index out of range.
  // The caller makes sure the job is not being run.
  void DeleteJob(size_t index);

 private:
  void LoadJob(const std::string& path);

  JobList& jobs_;
  JobUnscheduler& unscheduler_;
};
