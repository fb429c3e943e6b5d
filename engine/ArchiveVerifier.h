// Checks archives with the reader, writing nothing. On demand every entry is
// inflated and its CRC-32 and sizes compared; after a run, the entries it
// wrote are compared with what the writer recorded of them (their stored
// bytes read back from the file), which needs no second inflate.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "zip/ZipEntryDigest.h"

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

  // Entries by name (ZipFileHeader::SystemName) with what the writer recorded.
  using Digests = std::map<std::string, ZipEntryDigest>;

  // Checks the archive at `path`: all entries inflated, or with `written`
  // only those named in it, against their digests. The problems found, in
  // entry order; a stop ends the check early without a problem (see Stopped).
  std::vector<EntryProblem> Check(const std::string& path, const Digests* written = nullptr);
  bool Stopped() const { return stopped_; }

 private:
  void CheckRange(ZipReader& reader, const std::string& path, const std::vector<int>& entries,
                  const Digests* written, size_t begin, size_t end, std::atomic<bool>& stop,
                  std::vector<EntryProblem>* problems);

  ReadCallback& callback_;
  bool stopped_ = false;
};
