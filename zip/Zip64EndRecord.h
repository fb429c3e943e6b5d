// The ZIP64 end of central directory record and its locator, written between
// the central directory and the end record when the archive has 65535 entries
// or more, or its central directory starts or ends past 4 GiB. The end record
// then holds 0xFFFF / 0xFFFFFFFF in the fields that overflow.
#pragma once

#include <cstddef>
#include <cstdint>

class ZipStorage;

struct Zip64EndRecord {
  static constexpr uint32_t kSignature = 0x06064b50;
  static constexpr uint32_t kLocatorSignature = 0x07064b50;
  static constexpr size_t kSize = 56;
  static constexpr size_t kLocatorSize = 20;

  uint64_t totalEntries = 0;
  uint64_t centralDirSize = 0;
  uint64_t centralDirOffset = 0;

  // Whether an archive with these values needs the ZIP64 records.
  bool IsNeeded() const;

  // Writes the record at `recordOffset` (relative to the archive start, where
  // the storage is about to write) and its locator.
  void Write(ZipStorage& storage, uint64_t recordOffset) const;

  // Reads the record whose locator ends at `endRecordPosition` (the classic
  // end record's file position). Returns the record's file position, or
  // UINT64_MAX when there is no locator there. Throws BadArchive for a
  // locator without a readable record, MultiVolumeUnsupported for volumes.
  uint64_t Read(ZipStorage& storage, uint64_t endRecordPosition);
};
