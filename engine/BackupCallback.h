// The progress callback of a backup run: counts add operations and bytes read
// into the run's progress values, and cancels the add in progress when the
// worker thread has been asked to stop.
#pragma once

#include "zip/ZipActionCallback.h"

class BackupProgress;
class wxThread;

class BackupCallback : public ZipActionCallback {
 public:
  // `thread` is the worker running the backup, or null on the calling thread
  // of a batch run (which is never cancelled). Neither is owned.
  BackupCallback(BackupProgress& progress, wxThread* thread);

  // Called after each chunk read from a source file: false when the worker
  // must stop, else counts the chunk's bytes.
  bool OnProgress(uint64_t progress) override;

  // Called once at the end of every add operation, successful or not.
  void EndAction() override;

 private:
  BackupProgress& progress_;
  wxThread* thread_;
};
