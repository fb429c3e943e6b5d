// The progress callback of a backup run: counts the bytes read
// into the run's progress values, and cancels the add in progress when the
// worker thread has been asked to stop.
#pragma once

#include <functional>

#include "zip/ZipActionCallback.h"

class BackupProgress;

class BackupCallback : public ZipActionCallback {
 public:
  // `stopRequested` tells whether the run has been asked to stop (a worker
  // thread's delete request, a batch run's termination signal); it may be
  // empty. `progress` is not owned.
  BackupCallback(BackupProgress& progress, std::function<bool()> stopRequested);

  // Called after each chunk read from a source file: false when the worker
  // must stop, else counts the chunk's bytes.
  bool OnProgress(uint64_t progress) override;

 private:
  BackupProgress& progress_;
  std::function<bool()> stopRequested_;
};
