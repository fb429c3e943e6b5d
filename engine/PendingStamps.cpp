#include "engine/PendingStamps.h"

#include "engine/DirEnumerator.h"

void PendingStamps::Add(const std::string& path, const platform::FileInfo& seen) {
  files_.push_back(StoredFile{seen.device, seen.inode, seen.size, seen.mtimeSeconds,
                              seen.mtimeNanoseconds, static_cast<uint32_t>(path.size())});
  paths_.insert(paths_.end(), path.begin(), path.end());
}

void PendingStamps::Commit() {
  auto next = paths_.begin();
  std::string path;
  for (const StoredFile& file : files_) {
    path.assign(next, next + file.pathLength);
    next += file.pathLength;
    platform::FileInfo seen;
    seen.device = file.device;
    seen.inode = file.inode;
    seen.size = file.size;
    seen.mtimeSeconds = file.mtimeSeconds;
    seen.mtimeNanoseconds = file.mtimeNanoseconds;
    ClearArchiveAttribute(path, seen);
  }
  Discard();
}

void PendingStamps::Discard() {
  files_ = std::deque<StoredFile>();
  paths_ = std::deque<char>();
}
