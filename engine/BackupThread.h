// The worker thread of a threaded backup run. Joinable, so the runner that
// owns it can reap it after it has ended.
#pragma once

#include <wx/thread.h>

class BackupRunner;

class BackupThread : public wxThread {
 public:
  explicit BackupThread(BackupRunner& runner);

 protected:
  // Runs the runner's RunInThread; the exit code is 1 for success, 0 for failure.
  ExitCode Entry() override;

 private:
  BackupRunner& runner_;
};
