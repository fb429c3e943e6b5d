// The archive file on disk, opened so that no crash, full disk or second
// writer can cost it an earlier entry.
//
// How it is opened decides how changes become durable (the open flags of
// ZipAbstractFile):
// - kCreateArchive: staged. The new archive is written as "<path>.partial" in
//   the same directory; Commit forces it to disk and renames it over `path`
//   (keeping the archive it replaces under the retire path first, when one is
//   set), then forces the directory. Until then an archive already at `path`
//   is untouched, and held locked.
// - kOpenArchive: journaled. Before any byte changes, ZipJournal saves the
//   original bytes; Commit forces the archive to disk, then removes the
//   journal. A journal found at open (the process died) is played back first
//   when it belongs to the archive as it is, else moved aside.
// - kOpenArchiveReadOnly: read under a shared lock, after playing back a
//   journal if there is one.
// - kOpenScratch: a plain file for the writer's own temporary archives.
// Opening for writing (staged or journaled) also removes a "<path>.partial"
// whose writer is gone. Every file written is opened as ZipFile opens files
// for writing: never through a link, only a regular file of this user's own.
// Abandon gives back the archive as it was at open.
#pragma once

#include <memory>
#include <string>

#include "zip/ZipFile.h"
#include "zip/ZipJournal.h"

class ZipArchiveFile : public ZipAbstractFile {
 public:
  // The name a staged archive is written under until it is committed.
  static std::string StagingPathFor(const std::string& archivePath);

  ZipArchiveFile();
  ~ZipArchiveFile() override;

  bool Open(const std::string& path, int openFlags, bool throwOnError) override;

  // For a staged archive: at Commit, an archive already at the path is kept
  // under `retirePath` (which must not exist) instead of being replaced.
  void SetRetirePath(const std::string& retirePath) { retirePath_ = retirePath; }

  // Makes what was written the archive, durably, and closes. Throws
  // ZipException when that cannot be done; the archive is then as it was at
  // open, or will be brought back to it by its next open.
  void Commit();
  // Gives back the archive as it was at open (as far as the disk allows;
  // errors are not reported) and closes.
  void Abandon();

  // What the open found of a journal left beside the archive.
  ZipJournal::Recovery JournalRecovery() const { return recovery_; }

  void Close() override { Abandon(); }
  void Flush() override { file_.Flush(); }
  uint64_t Position() override { return file_.Position(); }
  uint64_t Seek(int64_t offset, int origin) override { return file_.Seek(offset, origin); }
  uint64_t Length() override { return file_.Length(); }
  void SetLength(uint64_t length) override;
  std::string Path() const override { return path_; }
  size_t Read(void* buffer, size_t count) override { return file_.Read(buffer, count); }
  void Write(const void* buffer, size_t count) override;
  bool IsClosed() const override { return file_.IsClosed(); }

 private:
  enum class Kind { Staged, Journaled, ReadOnly, Scratch };

  void OpenStaged();
  void OpenJournaled();
  void OpenReadOnly();
  void RemoveStaleStaging();
  void CommitStaged();
  void Reset();

  Kind kind_ = Kind::Scratch;
  std::string path_;
  std::string retirePath_;
  ZipFile file_;    // the file written: the archive, or the staged one
  ZipFile target_;  // staged: the archive being replaced, held locked
  platform::FileInfo staged_;  // staged: the file written, as opened
  std::unique_ptr<ZipJournal> journal_;
  ZipJournal::Recovery recovery_ = ZipJournal::Recovery::None;
};
