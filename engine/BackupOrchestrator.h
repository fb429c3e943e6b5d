// The application's side of backups: starting a listed job on the worker,
// finding the running job's row, and the refresh tick that turns the runner's
// state and the progress values into the tray animation, progress texts and
// the one completion report of each run.
#pragma once

#include <cstdint>

#include <wx/string.h>

#include "jobs/JobList.h"

class BackupProgress;
class BackupRunner;
class ProgressView;

class BackupOrchestrator {
 public:
  // None of the three is owned; all must outlive the orchestrator.
  BackupOrchestrator(const JobList& jobs, BackupRunner& runner, BackupProgress& progress);

  // Starts the job at row `index` on the worker, full or incremental. Nothing
  // happens while a run is going on or when there is no such row.
  void StartJob(int index, bool full);

  // The row of the running job; -1 when nothing runs or the job has no row.
  int RunningJobIndex() const;

  // One tick of the refresh timer (every 125 ms on the main thread).
  void OnTimer(ProgressView& view);

  // 0 while the idle icon shows; 1 to 4 = the run icon shown last.
  uint16_t AnimationFrame() const { return animationFrame_; }

  // The tray tooltip of a running job: its title, the add operations so far
  // and the kilobytes read (rounded down).
  static wxString ProgressText(const wxString& title, uint32_t filesAdded, uint64_t bytesRead);

 private:
  void ShowRunning(ProgressView& view, const BackupJob& job);
  void ShowFinished(ProgressView& view, BackupJob* job);

  const JobList& jobs_;
  BackupRunner& runner_;
  BackupProgress& progress_;
  uint16_t animationFrame_ = 0;
};
