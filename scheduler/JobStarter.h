// What the scheduler needs of the backup runner: whether a run is going on,
// and starting one. BackupRunner provides it through RunnerJobStarter; tests
// put a recording double in its place.
#pragma once

#include "engine/RunRecord.h"

class BackupJob;

class JobStarter {
 public:
  virtual ~JobStarter() = default;

  // A backup run is going on.
  virtual bool IsBusy() const = 0;

  // Starts a full or incremental run of `job` on the worker thread, started
  // by `trigger`. False, with nothing started, while a run is going on.
  virtual bool Start(BackupJob* job, bool full, RunTrigger trigger) = 0;
};
