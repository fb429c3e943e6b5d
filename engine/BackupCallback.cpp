#include "engine/BackupCallback.h"

#include "engine/BackupProgress.h"

BackupCallback::BackupCallback(BackupProgress& progress, std::function<bool()> stopRequested)
    : progress_(progress), stopRequested_(std::move(stopRequested)) {}

bool BackupCallback::OnProgress(uint64_t progress) {
  if (stopRequested_ && stopRequested_()) return false;
  progress_.bytesRead += progress;
  return true;
}
