// The entries of an open archive, packed: each is kept as its central
// directory record (about 60 bytes for a short name) in blocks of memory, found
// through an 8-byte locator, and decoded into a ZipFileHeader when asked for.
// A list of separate header objects costs twice as much per entry.
//
// A record is as ZipFileHeader::CentralHeader(false) makes it, or as read from
// an archive; only whether the local header has a ZIP64 field is kept beside
// it, in its locator. Reading the list from several threads at once is safe;
// changing it is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/ZipFileHeader.h"

class ZipEntryList {
 public:
  size_t Count() const { return locators_.size(); }
  ZipFileHeader Get(size_t index) const;
  void Append(const ZipFileHeader& header);
  void Replace(size_t index, const ZipFileHeader& header);
  void Erase(size_t index);
  void Clear();

  // Reads the `count` records of a central directory, `size` bytes that
  // `read(buffer, n)` gives in order, as the whole list, in the order of
  // their local header offsets. Calls `check` for each entry (it may throw).
  // False when a record is cut off or damaged, when the records do not fill
  // `size` exactly, or when two entries have the same offset. The records go
  // into blocks as appended ones do, so a list read after another was freed
  // takes the memory that one gave back.
  bool Read(uint64_t size, size_t count, const std::function<void(unsigned char*, size_t)>& read,
            const std::function<void(const ZipFileHeader&)>& check);

 private:
  static uint64_t LocatorOf(size_t block, size_t offset, bool zip64Local);
  struct Block {
    std::unique_ptr<unsigned char[]> data;
    size_t size;
  };

  const unsigned char* RecordAt(uint64_t locator) const;
  static size_t RecordSize(const unsigned char* record);
  // Copies a record to the end of the last block (or a new one); its locator.
  uint64_t Store(const unsigned char* record, size_t size, bool zip64Local);
  // The record at `locator` is no longer used.
  void Release(uint64_t locator);
  // Copies the records in use into new blocks once most of the bytes held are unused.
  void CompactIfWasteful();
  // Puts the locators in the order of the entries' offsets; false when two are the same.
  bool SortByOffset();

  std::vector<Block> blocks_;
  size_t lastBlockUsed_ = 0;  // bytes used of the last block
  size_t live_ = 0;           // bytes of the records in use
  size_t held_ = 0;           // bytes of all blocks
  // Per entry: the block index and the offset in it, with the ZIP64 flag.
  std::deque<uint64_t> locators_;
};
