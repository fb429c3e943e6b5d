// Checks archives with the reader: every entry (or the entries named) is
// inflated and its CRC-32 and sizes compared, nothing is written. Used after
// each run on the archives it committed, and on demand on all of a job's.
#pragma once

#include <atomic>
#include <string>
#include <vector>

class EntryNameSet;
class ReadCallback;
class ZipReader;

// One damaged entry, or an archive that cannot be read (entry empty).
struct EntryProblem {
  std::string archive;
  std::string entry;
  std::string reason;

  // "<archive>: <entry>: <reason>" (the entry left out when empty).
  std::string Text() const;
};

class ArchiveVerifier {
 public:
  // `callback` (not owned) counts progress and may stop the check.
  explicit ArchiveVerifier(ReadCallback& callback) : callback_(callback) {}

  // Checks the archive at `path`: all entries, or with `names` only those
  // whose name (ZipFileHeader::SystemName) is in it. The problems found, in entry order; a stop
  // ends the check early without a problem (see Stopped).
  std::vector<EntryProblem> Check(const std::string& path,
                                  const EntryNameSet* names = nullptr);
  bool Stopped() const { return stopped_; }

 private:
  void CheckRange(ZipReader& reader, const std::string& path, const std::vector<int>& entries,
                  size_t begin, size_t end, std::atomic<bool>& stop,
                  std::vector<EntryProblem>* problems);

  ReadCallback& callback_;
  bool stopped_ = false;
};
