// The stamps of the files stored in the archive being written. A stamp marks a
// file as stored, so every later incremental run skips it; it is therefore
// written only once the archive holding the file has been committed (closed
// with its central directory and synced). An archive that never commits (a
// failed close, a crash, a kill) leaves its files unstamped, and the next
// incremental run takes them again. Holds, for one archive at a time, what a
// stamp records of each stored file, packed: a folder's path and device once
// for the run of its files that follow, then per file its name and its
// identity, size and times as variable-length numbers (about 21 bytes a file).
#pragma once

#include <cstdint>
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

  size_t Count() const { return count_; }

 private:
  // Below this many files a second thread costs more than it saves.
  static constexpr size_t kFilesForTwoThreads = 1000;

  // Stamps the files whose place in the order is `first` modulo `step`.
  void Stamp(size_t first, size_t step) const;
  void PutNumber(uint64_t value);
  void PutText(const std::string& text, size_t begin, size_t length);

  // The records, in the order added; a deque grows without copying, so no
  // moment holds them twice.
  std::deque<char> records_;
  size_t count_ = 0;
  std::string folder_;  // of the last record, ending in '/' (empty: none)
  uint64_t device_ = 0;  // of the last record
  uint64_t lastInode_ = 0;  // of the last record
  int64_t lastMtimeSeconds_ = 0;  // of the last record
};
