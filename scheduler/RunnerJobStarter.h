// Lets the scheduler start jobs through the application's BackupRunner.
#pragma once

#include "scheduler/JobStarter.h"

class BackupRunner;

class RunnerJobStarter : public JobStarter {
 public:
  // `runner` is not owned and must outlive this object.
  explicit RunnerJobStarter(BackupRunner& runner) : runner_(runner) {}

  bool IsBusy() const override;
  bool Start(BackupJob* job, bool full, RunTrigger trigger) override;

 private:
  BackupRunner& runner_;
};
