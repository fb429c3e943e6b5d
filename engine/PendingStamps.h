// The stamps of the files stored in the archive being written. A stamp marks a
// file as stored, so every later incremental run skips it; it is therefore
// written only once the archive holding the file has been committed (closed
// with its central directory and synced). An archive that never commits (a
// failed close, a crash, a kill) leaves its files unstamped, and the next
// incremental run takes them again. Holds a path and the state a stamp records
// per stored file, for one archive at a time: about 80 bytes a file.
#pragma once

#include <deque>
#include <string>

#include "platform/Env.h"

class PendingStamps {
 public:
  // Remembers that the file at `path` was stored in the state `seen` (as
  // listed, before it was read).
  void Add(const std::string& path, const platform::FileInfo& seen);

  // Stamps every remembered file with the state it was stored in, then forgets
  // them. A stamp that cannot be written is skipped silently: that file is
  // simply taken again next time.
  void Commit();

  // Forgets every remembered file without stamping it.
  void Discard();

  size_t Count() const { return files_.size(); }

 private:
  // What a stamp records of the file as it was stored; its path is the next
  // `pathLength` bytes of paths_.
  struct StoredFile {
    uint64_t device;
    uint64_t inode;
    uint64_t size;
    int64_t mtimeSeconds;
    int32_t mtimeNanoseconds;
    uint32_t pathLength;
  };
  // Deques grow without copying: no moment holds the list twice.
  std::deque<StoredFile> files_;
  std::deque<char> paths_;
};
