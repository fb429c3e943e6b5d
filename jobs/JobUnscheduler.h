// Whatever keeps pointers to jobs for later runs (the backup scheduler). The
// job store takes a job off it before the job is destroyed.
#pragma once

class BackupJob;

class JobUnscheduler {
 public:
  virtual ~JobUnscheduler() = default;

  // Forgets every pending run of `job`; afterwards `job` may be destroyed.
  virtual void UnscheduleJob(BackupJob* job) = 0;
};
