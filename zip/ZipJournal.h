// The undo journal of an archive opened for adding: before any byte of the
// archive is changed, the original bytes from there to the original end are
// saved in "<archive>.journal" beside it and forced to disk. Once the new
// central directory is on disk the journal is removed; if the process dies
// before that, the next open of the archive (Recover) writes the saved bytes
// back and cuts the archive to its original length, which gives back the
// archive as it was before the run.
//
// A journal belongs to one state of one archive, and the folder may be
// writable by others: its header binds it to the archive's device and inode,
// its length before the change and a check value of the original bytes from
// up to 64 KiB before the first change to the original end (the central
// directory the change replaces and data that only the archive's owner can
// read). Only a journal whose check value the archive, overlaid with the
// saved bytes, reproduces is played back; any other is moved aside to
// "<archive>.journal.refused" and the archive is left as it is.
//
// On disk: a 44-byte header (magic "AKJ2", device u64, inode u64, original
// length u64, start of the checked bytes u64, their CRC-32, CRC-32 of the 40
// bytes before it), then records of {offset u64, length u64, bytes, CRC-32 of
// all before it in the record}, which together cover the original bytes from
// the lowest offset to the original end. A record whose CRC does not match
// ends the journal: it was being written when the process died, before the
// change it covers began.
#pragma once

#include <cstdint>
#include <string>

#include "zip/ZipFile.h"

class ZipJournal {
 public:
  // What Recover found.
  enum class Recovery {
    None,        // no journal: the archive is as it was committed
    PlayedBack,  // the archive was given back its committed state
    SetAside,    // a journal not of this archive's state was moved aside
  };

  // The journal of the archive at `archivePath`.
  static std::string PathFor(const std::string& archivePath);
  // Where a journal that does not belong to the archive is moved.
  static std::string SetAsidePathFor(const std::string& archivePath);

  // If the archive has a journal of its current state, restores the saved
  // bytes and the original length into `archive` (open for writing), forces
  // it to disk and removes the journal; any other journal is moved aside
  // untouched. Throws ZipException (errno code, path of the failing file).
  static Recovery Recover(const std::string& archivePath, ZipAbstractFile& archive);

  // Removes a journal left at the archive's name, whose archive is gone or
  // replaced, and makes its removal durable.
  static void RemoveOrphan(const std::string& archivePath);

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
  void Create(uint64_t position, ZipAbstractFile& archive);
  void AppendRecord(uint64_t offset, const std::string& bytes);

  std::string archivePath_;
  std::string path_;
  uint64_t originalLength_;
  uint64_t savedFrom_;  // bytes from here to the original end are saved
  ZipFile journal_;
};

// Brings the archive at `archivePath` back to its last committed state when
// a run that was adding to it died, so that any reader can open it: under the
// writer's lock, a pending journal of it is played back and one that is not of
// it is moved aside. Does nothing without a journal. Throws ZipException
// (ArchiveInUse while a run is writing the archive; LinkRefused or NotOwnFile
// for an archive that is not this user's own regular file; errno codes).
ZipJournal::Recovery RecoverPendingJournal(const std::string& archivePath);
