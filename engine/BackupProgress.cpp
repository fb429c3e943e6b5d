#include "engine/BackupProgress.h"

void BackupProgress::Reset() {
  filesAdded = 0;
  bytesRead = 0;
  finishedJob = nullptr;
}
