// Reads any single-file ZIP archive without changing it: the entries of its
// central directory (classic or ZIP64), and the content of one entry at a
// time, inflated through fixed buffers whatever its size, with its CRC-32 and
// both sizes checked. Problems of one entry (an encrypted entry, an unknown
// compression method, damaged or hostile data) are reported for that entry;
// only an archive whose central directory cannot be read fails to open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zip/ZipFileHeader.h"

class ZipCentralDir;
class ZipMemFile;
class ZipStorage;

// How extracting one entry ended.
enum class ZipReadStatus {
  Ok,
  Encrypted,          // the entry is encrypted
  UnsupportedMethod,  // a compression method other than stored or deflated
  Overlapping,        // its data runs into another entry or the central directory
  BadLocalHeader,     // its local header is missing or disagrees with the directory
  Truncated,          // the archive ends inside the entry's data
  BadData,            // the compressed data is not a valid stream
  SizeMismatch,       // the data inflates to another size than recorded
  CrcMismatch,        // the content does not match its CRC-32
  ReadError,          // the archive file could not be read
  Cancelled,          // the sink asked to stop
};

struct ZipReadResult {
  ZipReadStatus status = ZipReadStatus::Ok;
  uint64_t bytes = 0;  // content bytes given to the sink
  bool ok() const { return status == ZipReadStatus::Ok; }
};

// The words for `status` of `entry`, such as "unsupported compression method 14".
std::string ZipReadStatusText(ZipReadStatus status, const ZipFileHeader& entry);

class ZipReader {
 public:
  // Compressed and inflated bytes each pass through a buffer of this size.
  static constexpr size_t kBufferSize = 65536;

  // Receives consecutive pieces of an entry's content; false stops the read.
  using Sink = std::function<bool(const char* data, size_t size)>;

  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Opens the archive at `path` (or in `memoryFile`, not owned) read-only and
  // reads its central directory. Throws ZipException: an errno value when the
  // file cannot be opened, EndRecordMissing, BadArchive or
  // MultiVolumeUnsupported when it is not a readable archive.
  void Open(const std::string& path);
  void Open(ZipMemFile* memoryFile);
  // Opens the archive at `path` that `source` has open, sharing its entry list
  // instead of reading the central directory once more, so that two readers on
  // two threads can extract entries at once for the memory of one. `source`
  // stays open meanwhile.
  void OpenSharing(const std::string& path, const ZipReader& source);
  void Close();

  // Entries in the order their data lies in the archive; a copy of each.
  int Count() const;
  ZipFileHeader Entry(int index) const;

  // The entry's name as UTF-8 with '/' separators (code page 437 names converted).
  std::string Name(int index) const;
  // Modification time in seconds since the epoch: the extended timestamp when
  // the entry has one, else its DOS date and time (local time).
  int64_t ModificationTime(int index) const;
  // Unix permission bits (07777) when the entry was made on Unix, else 0.
  uint32_t UnixMode(int index) const;
  bool IsDirectory(int index) const;

  // Streams the content of entry `index` to `sink`.
  ZipReadResult Extract(int index, const Sink& sink);

 private:
  void ReadCentralDirectory();
  ZipReadResult ExtractChecked(int index, const Sink& sink);
  // Checks `entry`'s local header and room and moves to its data; Ok or why
  // not. Records the local header's lengths in `entry`.
  ZipReadStatus SeekToData(int index, ZipFileHeader& entry);

  std::unique_ptr<ZipStorage> storage_;
  std::unique_ptr<ZipCentralDir> centralDir_;  // the entry list read by this reader
  ZipCentralDir* directory_ = nullptr;          // this one's or a shared one
  std::unique_ptr<char[]> input_;
  std::unique_ptr<char[]> output_;
};
