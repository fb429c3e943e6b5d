#include "engine/BackupThread.h"

#include "engine/BackupRunner.h"

BackupThread::BackupThread(BackupRunner& runner) : wxThread(wxTHREAD_JOINABLE), runner_(runner) {}

wxThread::ExitCode BackupThread::Entry() {
  return reinterpret_cast<ExitCode>(runner_.RunInThread() ? 1 : 0);
}
