// The undo journal of an archive opened for adding: before any byte of the
// archive is changed, the original bytes from there to the original end are
// saved in "<archive>.journal" beside it and forced to disk. Once the new
// central directory is on disk the journal is removed; if the process dies
// before that, the next open of the archive (Recover) writes the saved bytes
// back and cuts the archive to its original length, which gives back the
// archive as it was before the run.
//
// On disk: a 16-byte header (magic "AKJ1", the original length as u64, CRC-32
// of those 12 bytes), then records of {offset u64, length u64, bytes, CRC-32 of
// all before it in the record}. A record whose CRC does not match ends the
// journal: it was being written when the process died, before the change it
// covers began.
#pragma once

#include <cstdint>
#include <string>

#include "zip/ZipFile.h"

class ZipJournal {
 public:
  // The journal of the archive at `archivePath`.
  static std::string PathFor(const std::string& archivePath);

  // If the archive has a journal, restores the saved bytes and the original
  // length into `archive` (open for writing), forces it to disk and removes
  // the journal. Throws ZipException (errno code, path of the failing file).
  static void Recover(const std::string& archivePath, ZipAbstractFile& archive);

  // `originalLength` is the archive's length before anything changed.
  ZipJournal(std::string archivePath, uint64_t originalLength);
  ~ZipJournal();
  ZipJournal(const ZipJournal&) = delete;
  ZipJournal& operator=(const ZipJournal&) = delete;

  // Called before bytes at `position` or beyond change: saves the original
  // bytes from `position` to where saving already begins (or to the original
  // end), read from `archive`, and forces them to disk. Keeps `archive`'s
  // position.
  void Protect(uint64_t position, ZipAbstractFile& archive);

  // Nothing was saved yet: the archive is unchanged.
  bool IsEmpty() const { return journal_.IsClosed(); }

  // The archive's new state is on disk: removes the journal and makes its
  // removal durable.
  void Discard();

  // Gives the archive back its original bytes and length, forces it to disk
  // and removes the journal.
  void RollBack(ZipAbstractFile& archive);

 private:
  void Create();
  void AppendRecord(uint64_t offset, const std::string& bytes);

  std::string archivePath_;
  std::string path_;
  uint64_t originalLength_;
  uint64_t savedFrom_;  // bytes from here to the original end are saved
  ZipFile journal_;
};
