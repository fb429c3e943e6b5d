#include "engine/BackupCallback.h"

#include <wx/thread.h>

#include "engine/BackupProgress.h"

BackupCallback::BackupCallback(BackupProgress& progress, wxThread* thread)
    : progress_(progress), thread_(thread) {}

bool BackupCallback::OnProgress(uint64_t progress) {
  if (thread_ != nullptr && thread_->TestDestroy()) return false;
  progress_.bytesRead += progress;
  return true;
}

void BackupCallback::EndAction() { progress_.filesAdded += 1; }
