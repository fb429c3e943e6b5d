// Creates ZIP archives and adds files to new or existing ones.
//
// One ZipWriter per archive: OpenArchive, SetRootDirectory, SetProgressCallback,
// AddFile for each file or directory, CloseArchive (which writes the central
// directory). Refusals give a false result; I/O, format, compression and cancel
// failures throw ZipException. Entry names are UTF-8 with '/' separators; a
// non-ASCII name is marked with general-purpose flag bit 11.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "zip/ZipActionCallback.h"
#include "zip/ZipAutoBuffer.h"
#include "zip/ZipException.h"
#include "zip/ZipOpenMode.h"
#include "zip/ZipPlatform.h"

class ZipAbstractFile;
class ZipCentralDir;
class ZipCompressor;
class ZipDeflateLane;
class ZipFileHeader;
class ZipMemFile;
class ZipStorage;

// What AddFile is asked to do.
struct AddFileRequest {
  // Bits of `options`.
  enum Option {
    OptClearPasswordForDirectories = 0x0001,  // only matters with a password (never set here)
    OptClearPasswordForEmptyFiles = 0x0002,   // only matters with a password (never set here)
    OptStoreTinyFiles = 0x0004,               // a file shorter than 5 bytes is stored
    OptCheckCompressionGain = 0x0008,         // an entry that did not shrink is stored instead
    OptGainCheckInMemory = 0x0010,            // that check through a memory archive
    OptInternalRetry = 0xF000,                // set only by the writer's own nested call
    OptDefault = 0x0007,                      // what the backup engine passes
  };

  AddFileRequest() = default;
  AddFileRequest(std::string sourcePath, bool fullPath)
      : sourcePath(std::move(sourcePath)), fullPath(fullPath) {}

  std::string sourcePath;                // file or directory on disk
  std::string nameInArchive;             // stored name; derived from sourcePath when empty
  bool fullPath = false;                 // store the whole path, not a name below the root
  int level = -1;                        // -1 zlib default, 0 store, 1..9
  int options = OptDefault;              // Option bits
  int replaceIndex = -1;                 // entry to replace; -1 none, -2 find by name
  uint32_t bufferSize = 65536;           // read chunk size
  ZipAbstractFile* sourceFile = nullptr; // read from this open file instead (not owned)
  // What the caller already knows of the source file (as seen before it is
  // read), so the writer does not examine it again; null: the writer looks.
  const ZipSourceProperties* sourceProperties = nullptr;
};

class ZipWriter {
 public:
  static constexpr ZipOpenMode OpenExisting = ZipOpenMode::OpenExisting;
  static constexpr ZipOpenMode OpenReadOnly = ZipOpenMode::OpenReadOnly;
  static constexpr ZipOpenMode CreateNew = ZipOpenMode::CreateNew;
  static constexpr ZipOpenMode CreateMultiVolume = ZipOpenMode::CreateMultiVolume;

  // How PredictNameInArchive and FindDuplicate decide on a trailing '/'.
  enum NameKind {
    PredictDirectory = 0,  // always
    PredictFile = 1,       // never
    PredictAuto = 2,       // when the given path ends in '/'
  };

  ZipWriter();
  virtual ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Opens or creates the archive at `path`. Does nothing if an archive is open.
  // Throws ZipException when the file cannot be created or opened (errno code
  // and path), when an existing archive is damaged (BadArchive,
  // EndRecordMissing) or multi-volume, and for CreateMultiVolume
  // (MultiVolumeUnsupported).
  void OpenArchive(const std::string& path, ZipOpenMode mode, uint64_t volumeSize = 0);
  // For an archive opened with CreateNew over an existing one: when the new
  // archive is committed, the one it replaces is kept under `retirePath`.
  void SetRetirePath(const std::string& retirePath);
  // Uses a memory file as the archive (CreateNew empties it; any other mode
  // reads it as an existing archive). The memory file is not owned.
  void OpenArchive(ZipMemFile* memoryFile, ZipOpenMode mode);

  // The directory cut from stored names. Ignored while closed or while an
  // entry is open; an empty path clears it.
  void SetRootDirectory(const std::string& path);
  const std::string& RootDirectory() const { return rootDirectory_; }

  // Where temporary archives for replacements are made; empty means the
  // system's temporary directory.
  void SetTemporaryDirectory(const std::string& path) { temporaryDirectory_ = path; }

  // Registers `callback` (not owned) for every kind bit in `kinds`; a kind that
  // already has one keeps it. A null callback removes the kinds.
  void SetProgressCallback(ZipActionCallback* callback, int kinds = ZipActionCallback::CallbackAdd);

  bool IsClosed() const;
  // The archive file's path; empty while closed.
  std::string ArchivePath() const;
  // True for the archive and the files the writer keeps beside it while it is
  // open (the staged new archive, the journal): none of them may be added.
  bool IsArchiveFile(const std::string& path) const;
  // True when opening the archive moved aside a journal that did not belong to
  // the archive as it is (see ZipJournal); the archive was left as it was.
  bool JournalSetAside() const;
  // Number of entries in the archive's central directory (0 while closed),
  // counting those still being compressed.
  int EntryCount() const;
  // A copy of entry `index`'s header, or false when there is no such entry.
  // Entries still being compressed are written first.
  bool GetEntryInfo(int index, ZipFileHeader* header);

  // The name `path` would be stored under (UTF-8, '/' separators).
  std::string PredictNameInArchive(const std::string& path, bool fullPath,
                                   NameKind nameKind = PredictAuto,
                                   bool archiveForm = false) const;

  // The index of the entry that `path` would be stored as, or -1 (also when
  // closed). With `nameOnly` only the file-name part of entries is compared.
  int FindDuplicate(const std::string& path, bool fullPath, bool nameOnly = false,
                    NameKind nameKind = PredictAuto);

  // Adds a file or directory. False when refused (archive closed, entry open,
  // source unreadable, bad replace index); throws on write, compression and
  // cancel failures. Entries and archives of any size and count are written,
  // with ZIP64 fields where a value needs them.
  //
  // On a machine with more than one core, a small file appended at the end is
  // read here and compressed on another thread while the next files are read;
  // it is written once compressed, before anything else changes the file. A
  // write or compression failure of such an entry is thrown by a later call
  // (CloseArchive at the latest, which then leaves the archive open): that
  // entry and all queued after it are dropped, as an unfinished entry is.
  bool AddFile(const AddFileRequest& request);
  bool AddFile(const std::string& sourcePath, int level = -1, bool fullPath = false,
               int options = AddFileRequest::OptDefault, uint32_t bufferSize = 65536);

  // Copies entry `index` of the open archive `source` into this archive, at the
  // end or in the place of entry `replaceIndex` (-1 none). `newName` empty keeps
  // the entry's name. A cancel from `callback` throws as AddFile's does.
  bool CopyEntryFrom(ZipWriter& source, int index, const std::string& newName,
                     int replaceIndex, bool keepSystem, ZipActionCallback* callback);

  // Removes the last entry and cuts the archive at its local header. Unless
  // `evenIfSmaller`, an entry that did not grow by compression is kept.
  bool RemoveLastEntry(bool evenIfSmaller);

  // Finishes an open entry, writes the central directory (unless `afterError`)
  // and closes the file. Returning normally means the archive is committed:
  // on disk and durable, a created archive renamed into place, an extended
  // one's journal gone. After `afterError`, or when an in-place change failed
  // earlier (that failure is thrown again), the archive is given back as it
  // was at open. With `updateTimeStamp` the file gets the newest entry time as
  // its modification time.
  void CloseArchive(bool afterError = false, bool updateTimeStamp = false);

 private:
  // Option bit of the nested add into a temporary archive: progress goes to
  // the CallbackAdd callback, but BeginAction/EndAction stay with the caller.
  static constexpr int kNestedAdd = 0x1000;

  // What a cancel from a progress callback does within the current operation.
  enum class OnCancel {
    Stop,           // the entry is dropped or ended, and the cancel thrown at once
    CompleteFirst,  // the entry replaces the last one, already cut off: completed first
    Pending,        // a cancel came; it is thrown once the operation has completed
  };

  void StartArchive(ZipOpenMode mode);
  // Runs a public operation that may change entries in place: a failure
  // inside it is remembered for CloseArchive, and a cancel that waited for
  // the operation's end is thrown then.
  template <typename Operation>
  bool Guarded(Operation operation) {
    changedInPlace_ = false;
    onCancel_ = OnCancel::Stop;
    bool done = false;
    try {
      done = operation();
    } catch (const ZipException& error) {
      NoteFailure(error);
      throw;
    }
    if (onCancel_ == OnCancel::Pending) throw ZipException(ZipException::CancelledFinished, "");
    return done;
  }
  // A cancel from `callback` after `count` more bytes: waits for the end of
  // the operation when `completeFirst` or the operation already says so
  // (false), else is to be acted on at once (true).
  bool CancelNow(ZipActionCallback* callback, size_t count, bool completeFirst);
  void NoteFailure(const ZipException& error);
  // Checks entry `index` and its successor on disk before they are overwritten
  // or moved, then marks the operation as changing the archive in place.
  void BeginInPlaceChange(int index);
  void RemoveLast();
  bool CopyEntry(ZipWriter& source, int index, const std::string& newName, int replaceIndex,
                 bool keepSystem, ZipActionCallback* callback);
  std::string TrimRootDirectory(const std::string& path) const;
  ZipFileHeader NewHeader(const std::string& name, const ZipSourceProperties& source) const;
  bool AddPreparedFile(const AddFileRequest& request);
  bool ResolveReplaceIndex(int* index, const std::string& name);
  bool AddDirectory(ZipFileHeader& header, int replaceIndex);
  bool AddFileDirect(ZipFileHeader& header, ZipAbstractFile& source, uint64_t size, int level,
                     int replaceIndex, uint32_t bufferSize, bool retry, bool mayQueue);
  // True when an entry of `size` bytes appended at the end goes to the lane.
  static bool QueuesEntryOf(uint64_t size);
  // Appends `header` to the central directory and hands `data` to the lane.
  void QueueEntry(ZipFileHeader& header, int level, std::string data);
  // Writes the queued entries that are done, or (`all`) every queued entry.
  void WriteQueued(bool all);
  void WriteQueuedEntry(int index, const std::string& data, uint32_t crc, uint64_t inputSize);
  // Forgets the queued entries from central directory entry `from` on.
  void DropQueued(int from);
  // After the queued entry `from` failed: cuts it off with the entries after
  // it, and those before it whose buffered bytes cannot be written either.
  void CutFailedQueued(int from);
  int FirstQueued() const;
  bool AddFileViaTemporary(const AddFileRequest& request, const std::string& temporaryPath,
                           int replaceIndex, bool gainCheck);
  bool BeginEntry(ZipFileHeader& header, int level, int replaceIndex, uint64_t reserveSize,
                  uint64_t sizeHint);
  void WriteEntryData(const void* buffer, size_t count);
  void EndEntry(bool afterError);
  void DiscardCurrentEntry();
  void CopyEntryData(ZipWriter& source, uint64_t dataStart, uint64_t span, bool replacing,
                     ZipActionCallback* callback);
  void MakeRoomForReplacement(int index, uint64_t neededSize, const std::string& name);
  void MoveRange(uint64_t from, uint64_t to, uint64_t distance, ZipActionCallback* callback,
                 bool forward);
  ZipActionCallback* CallbackFor(int kind);

  std::map<int, ZipActionCallback*> callbacks_;
  std::unique_ptr<ZipStorage> storage_;
  std::unique_ptr<ZipCentralDir> centralDir_;
  std::unique_ptr<ZipCompressor> compressor_;
  std::unique_ptr<ZipDeflateLane> lane_;  // made at the first queued entry
  ZipAutoBuffer readBuffer_;      // chunks read from the file being added
  int entryState_ = 0;            // 0 no entry open, 1 an entry is being written
  int currentIndex_ = -1;         // the entry being written
  bool currentReplacing_ = false; // it is written in place of an earlier entry
  OnCancel onCancel_ = OnCancel::Stop;
  bool changedInPlace_ = false;   // the current operation changed existing entries
  int failure_ = 0;               // the code of a failed in-place change, else 0
  std::string rootDirectory_;
  std::string temporaryDirectory_;
};
