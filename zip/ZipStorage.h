// The archive file under the writer: opening in one of the open modes, one
// 64 KiB write buffer that every archive byte passes through (a read-only
// archive reads ahead through it instead, so that headers and data that
// follow each other cost one read call per buffer, not a seek and a read
// each), exact reads and
// closing, which commits what was written (see ZipArchiveFile). Only
// single-file archives exist here; multi-volume archives are refused when
// they are asked for.
#pragma once

#include <cstdint>
#include <string>

#include "zip/ZipAutoBuffer.h"
#include "zip/ZipArchiveFile.h"
#include "zip/ZipOpenMode.h"

class ZipMemFile;

class ZipStorage {
 public:
  static constexpr uint32_t kWriteBufferSize = 65536;

  // Opens the archive file; throws ZipException (errno code and path) when it
  // cannot be opened or created, MultiVolumeUnsupported for CreateMultiVolume.
  void Open(const std::string& path, ZipOpenMode mode);
  // Uses `memoryFile` (not owned): CreateNew empties it, other modes rewind it.
  void Open(ZipMemFile* memoryFile, ZipOpenMode mode);
  // Creates a plain file at `path` for a temporary archive: no lock, no staging.
  void OpenScratch(const std::string& path);
  // See ZipArchiveFile::SetRetirePath.
  void SetRetirePath(const std::string& retirePath) { ownFile_.SetRetirePath(retirePath); }

  // Appends archive bytes through the write buffer.
  void Write(const void* data, size_t count);
  // Writes the buffered bytes to the file.
  void Flush();
  // Reads exactly `count` bytes at the file position or throws BadArchive.
  void ReadExact(void* buffer, size_t count);

  // Flushes, then moves the file position to `position` (absolute).
  void SeekTo(uint64_t position);
  // Moves the file position to the end and returns the position where the
  // next written byte lands. Cheap while only appends happened since the
  // last call: then the buffer is kept.
  uint64_t SeekToEnd();
  // Writes `count` bytes at absolute `position` (inside the file or the
  // buffered bytes) and keeps the current position.
  void Overwrite(uint64_t position, const void* data, size_t count);
  // Flushes, then gives the file's length.
  uint64_t Length();
  // Makes the archive end at `position`: buffered bytes beyond it are dropped
  // unwritten and the file is cut there. The next byte is written at `position`.
  void TruncateAt(uint64_t position);
  // Flushes, then truncates or extends the file.
  void SetLength(uint64_t length);
  // Where the next written byte lands: file position plus buffered bytes.
  uint64_t Position();
  // Where the buffered bytes begin: everything before is in the file.
  uint64_t FlushedPosition() { return file_->Position(); }

  // Closes the file and returns the archive path. Unless `afterError`, the
  // buffer is written out and everything committed (ZipArchiveFile::Commit);
  // after an error the archive is given back as it was at open and closing
  // problems are not reported.
  std::string Close(bool afterError);

  // What opening the archive found of a journal left beside it.
  ZipJournal::Recovery JournalRecovery() const { return ownFile_.JournalRecovery(); }

  bool IsOpen() const { return file_ != nullptr; }
  bool IsReadOnly() const { return readOnly_; }
  bool InMemory() const { return inMemory_; }
  std::string ArchivePath() const;
  // Direct access to the file, for reads and moves, at Position(); flush first.
  ZipAbstractFile& File();

 private:
  // Closes without writing anything more, ignoring errors.
  void CloseQuietly();
  void Reset();

  void Start(ZipAbstractFile* file, bool inMemory, bool readOnly);
  void ReadAhead(char* buffer, size_t count);
  // Drops the read-ahead bytes; the file position becomes the reading position.
  void DropReadAhead();

  ZipArchiveFile ownFile_;
  ZipAbstractFile* file_ = nullptr;
  ZipAutoBuffer writeBuffer_;
  uint32_t bufferedBytes_ = 0;
  bool atEnd_ = false;  // the position is known to be the end of the archive
  bool inMemory_ = false;
  bool readOnly_ = false;
  // Read-only: the buffer holds readLength_ bytes of the file from readStart_
  // (where the file position is unless readStartKnown_ is false), and reading
  // goes on at readStart_ + readPos_.
  uint64_t readStart_ = 0;
  uint32_t readLength_ = 0;
  uint32_t readPos_ = 0;
  bool readStartKnown_ = false;
};
