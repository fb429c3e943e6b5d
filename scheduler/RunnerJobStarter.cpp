#include "scheduler/RunnerJobStarter.h"

#include "engine/BackupRunner.h"

bool RunnerJobStarter::IsBusy() const { return runner_.IsBusy(); }

bool RunnerJobStarter::Start(BackupJob* job, bool full, RunTrigger trigger) {
  return runner_.Start(job, full, trigger);
}
