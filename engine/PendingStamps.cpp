#include "engine/PendingStamps.h"

#include "engine/DirEnumerator.h"

void PendingStamps::Add(std::string path, const platform::FileInfo& seen) {
  files_.push_back(StoredFile{std::move(path), seen});
}

void PendingStamps::Commit() {
  for (const StoredFile& file : files_) ClearArchiveAttribute(file.path, file.seen);
  Discard();
}

void PendingStamps::Discard() {
  files_ = std::deque<StoredFile>();
}
