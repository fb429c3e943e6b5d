// The archive's list of entries while it is open: reading the central
// directory of an existing archive, a name index for look-ups, recording each
// finished entry, and writing the central directory and end record at close.
//
// Entries are kept in physical order; an entry's index is its position in
// that order. Offsets in headers are relative to the start of the archive; a
// file position is that offset plus BytesBeforeArchive() (data in front of the
// archive, such as a self-extractor stub).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/ZipEntryList.h"
#include "zip/ZipFileHeader.h"
#include "zip/ZipNameIndex.h"

class ZipActionCallback;
class ZipStorage;

class ZipCentralDir {
 public:
  static constexpr uint32_t kEndSignature = 0x06054b50;
  static constexpr size_t kEndRecordSize = 22;
  // The end record lies within this many bytes of the end of the file.
  static constexpr size_t kEndRecordSearchSize = kEndRecordSize + 65535;

  explicit ZipCentralDir(ZipStorage& storage);
  ~ZipCentralDir();

  // Forgets every entry and the end record data.
  void Clear();
  // Reads the central directory of the existing archive in the storage.
  // Throws EndRecordMissing, BadArchive or MultiVolumeUnsupported.
  void Read();

  int Count() const { return static_cast<int>(entries_.Count()); }
  // A copy of entry `index`. Safe on several threads at once while nothing
  // changes the list.
  ZipFileHeader Entry(int index) const {
    return index == current_ ? currentEntry_ : entries_.Get(static_cast<size_t>(index));
  }
  // The entry being written, changed in place until it is no longer current.
  ZipFileHeader* Current() { return current_ < 0 ? nullptr : &currentEntry_; }

  // Adds a copy of `header` at the end, or in place of entry `replaceIndex`,
  // and makes it the current entry. Cuts off a central directory that is on
  // disk, sets the entry's local header offset and leaves the file positioned
  // there.
  ZipFileHeader* AddEntry(const ZipFileHeader& header, int replaceIndex);
  // Makes entry `index`, added earlier and not yet on disk, the current
  // entry at the end of the file (its local header offset is set there).
  ZipFileHeader* ResumeEntry(int index);
  // Writes the current entry's CRC and sizes into its local header.
  void EndEntryWrite();
  // Ends the current entry: it stays in the list as it is.
  void ForgetCurrent();
  // Removes entry `index` from the list (not from the file).
  void RemoveEntry(int index);

  // The index of the entry named `name` (UTF-8, '/' separators), or -1. With
  // `nameOnly` only the last component of each entry's name is compared.
  int FindEntry(const std::string& name, bool nameOnly) const;

  // Positions the storage at entry `index`'s local header and checks it;
  // throws BadArchive when it does not match. Returns the entry with the
  // lengths of its local name and extra field.
  ZipFileHeader ReadLocalHeaderOf(int index);
  // Where the room of entry `index` ends: the next entry's local header, or
  // for the last entry the central directory (or the end of the file).
  uint64_t EntryRoomEnd(int index);

  // Writes the central directory and the end record at the end of the file,
  // unless the file already ends with them. Progress goes to `callback`;
  // returns false when the callback asked to cancel (the directory is written
  // in full all the same, so the archive stays readable).
  bool Write(ZipActionCallback* callback);

  // Shifts the local header offsets of the entries after `index` by `delta`.
  void ShiftOffsetsAfter(int index, int64_t delta);

  uint64_t BytesBeforeArchive() const { return bytesBeforeArchive_; }
  bool OnDisk() const { return onDisk_; }
  void MarkNotOnDisk() { onDisk_ = false; }
  const std::string& Comment() const { return comment_; }

 private:
  uint64_t LocateEndRecord(uint64_t fileLength);
  void ReadHeaders(uint64_t totalEntries);
  // Throws for a header that points past the directory or to another disk.
  void CheckHeader(const ZipFileHeader& header) const;
  // Replaces entry `index` with `header`.
  void Put(int index, const ZipFileHeader& header);
  // Puts the current entry's changes into the list.
  void StoreCurrent();
  void BuildNameIndex() const;
  void IndexName(int index, const ZipFileHeader& header) const;
  int FindByName(const std::string& name) const;
  int FindByLastComponent(const std::string& name) const;
  void UnindexName(int index);
  void WriteEndRecord();
  [[noreturn]] void ThrowBadArchive() const;

  ZipStorage& storage_;
  ZipEntryList entries_;
  // Built on the first look-up and kept up to date from then on: a run that
  // adds nothing to a large archive never pays for it.
  mutable ZipNameIndex nameIndex_;
  mutable bool nameIndexBuilt_ = false;
  std::string comment_;
  int current_ = -1;
  ZipFileHeader currentEntry_;  // entry current_ while it is written
  uint64_t bytesBeforeArchive_ = 0;
  uint64_t centralDirOffset_ = 0;
  uint64_t centralDirSize_ = 0;
  bool onDisk_ = false;
};
