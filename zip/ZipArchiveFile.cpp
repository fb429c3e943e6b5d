#include "zip/ZipArchiveFile.h"

#include <algorithm>
#include <cerrno>

#include "platform/Env.h"
#include "zip/ZipException.h"
#include "zip/ZipJournal.h"

namespace {

std::string DirectoryOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path) {
  platform::FileInfo info;
  return platform::Env::Current()->LinkStat(path, &info) == 0;
}

}  // namespace

std::string ZipArchiveFile::StagingPathFor(const std::string& archivePath) {
  return archivePath + ".partial";
}

ZipArchiveFile::ZipArchiveFile() = default;

ZipArchiveFile::~ZipArchiveFile() { Abandon(); }

bool ZipArchiveFile::Open(const std::string& path, int openFlags, bool throwOnError) {
  Abandon();
  path_ = path;
  recovery_ = ZipJournal::Recovery::None;
  try {
    if (openFlags == kCreateArchive) {
      OpenStaged();
    } else if (openFlags == kOpenArchive) {
      OpenJournaled();
    } else if (openFlags == kOpenArchiveReadOnly) {
      OpenReadOnly();
    } else {
      kind_ = Kind::Scratch;
      file_.Open(path, openFlags, true);
    }
  } catch (const ZipException&) {
    Abandon();
    if (throwOnError) throw;
    return false;
  }
  return true;
}

// The archive being replaced is locked (and brought back from a crash) first,
// so no other writer adds to it while its replacement is made.
void ZipArchiveFile::OpenStaged() {
  kind_ = Kind::Staged;
  try {
    target_.Open(path_, kOpenArchive, true);
    recovery_ = ZipJournal::Recover(path_, target_);
  } catch (const ZipException& error) {
    // No archive there yet, or one this user may not write: it is replaced
    // by the rename alone. A journal without its archive guards nothing.
    if (error.code == ENOENT) {
      ZipJournal::RemoveOrphan(path_);
    } else if (error.code != EACCES) {
      throw;
    }
  }
  RemoveStaleStaging();
  try {
    file_.Open(StagingPathFor(path_), kCreateArchive, true);
  } catch (const ZipException& error) {
    // A staged file made by someone else since the stale one went is named.
    if (error.code == EEXIST) throw;
    throw ZipException(error.code, path_);
  }
  const int error = platform::Env::Current()->LinkStat(StagingPathFor(path_), &staged_);
  if (error != 0) throw ZipException(error, StagingPathFor(path_));
  file_.ReportAs(path_);
}

void ZipArchiveFile::OpenJournaled() {
  kind_ = Kind::Journaled;
  file_.Open(path_, kOpenArchive, true);
  recovery_ = ZipJournal::Recover(path_, file_);
  RemoveStaleStaging();
  journal_ = std::make_unique<ZipJournal>(path_, file_.Length());
}

void ZipArchiveFile::OpenReadOnly() {
  kind_ = Kind::ReadOnly;
  recovery_ = RecoverPendingJournal(path_);
  file_.Open(path_, kOpenArchiveReadOnly, true);
}

// A staged archive whose writer is gone (its lock is free) is removed, while
// held, so it is never one that another writer has taken meanwhile. A link or
// another account's file there is refused, not removed.
void ZipArchiveFile::RemoveStaleStaging() {
  const std::string staging = StagingPathFor(path_);
  platform::FileInfo info;
  if (platform::Env::Current()->LinkStat(staging, &info) != 0) return;
  ZipFile stale;
  stale.Open(staging, kOpenArchive, true);
  const int error = platform::Env::Current()->RemoveFile(staging);
  stale.Close();
  if (error != 0) throw ZipException(error, staging);
}

void ZipArchiveFile::Write(const void* buffer, size_t count) {
  if (journal_ != nullptr) journal_->Protect(file_.Position(), file_);
  file_.Write(buffer, count);
}

void ZipArchiveFile::SetLength(uint64_t length) {
  if (journal_ != nullptr) journal_->Protect(std::min(length, file_.Length()), file_);
  file_.SetLength(length);
}

void ZipArchiveFile::Commit() {
  if (file_.IsClosed()) return;
  try {
    switch (kind_) {
      case Kind::Staged:
        CommitStaged();
        break;
      case Kind::Journaled:
        // The new central directory reaches the disk before the journal goes.
        file_.Flush();
        journal_->Discard();
        break;
      case Kind::ReadOnly:
        break;
      case Kind::Scratch:
        file_.Flush();
        break;
    }
    file_.Close();
  } catch (const ZipException&) {
    Abandon();
    throw;
  }
  Reset();
}

// Order: the new archive's bytes on disk; the replaced archive given its
// retire name (a second link, so that some name always holds it); the new
// archive renamed into place; the directory on disk.
void ZipArchiveFile::CommitStaged() {
  platform::Env* env = platform::Env::Current();
  const std::string staging = StagingPathFor(path_);
  file_.Flush();
  if (!retirePath_.empty() && Exists(path_)) {
    int error = env->LinkFile(path_, retirePath_);
    // Without links the archive is renamed, but never over a name that was
    // taken meanwhile.
    if ((error == EPERM || error == EXDEV || error == ENOTSUP || error == EMLINK) &&
        !Exists(retirePath_)) {
      error = env->RenameFile(path_, retirePath_);
    }
    if (error != 0) throw ZipException(ZipException::RenameFailed, path_);
  }
  // Only the file written is put in place, never one swapped in under its name.
  platform::FileInfo current;
  if (env->LinkStat(staging, &current) != 0 || !platform::IsSameFile(current, staged_)) {
    throw ZipException(ZipException::NotOwnFile, staging);
  }
  if (env->RenameFile(staging, path_) != 0) throw ZipException(ZipException::RenameFailed, path_);
  ZipJournal::RemoveOrphan(path_);
  int error = env->SyncDirectory(DirectoryOf(path_));
  if (error != 0) throw ZipException(error, path_);
}

void ZipArchiveFile::Abandon() {
  if (journal_ != nullptr && !file_.IsClosed()) {
    try {
      journal_->RollBack(file_);
    } catch (const ZipException&) {
      // The journal stays; the next open plays it back.
    }
  }
  // A staged file is removed while it is still held, so it is never one that
  // another writer has taken meanwhile.
  if (kind_ == Kind::Staged && !file_.IsClosed()) {
    platform::Env::Current()->RemoveFile(StagingPathFor(path_));
  }
  try {
    file_.Close();
  } catch (const ZipException&) {
  }
  Reset();
}

void ZipArchiveFile::Reset() {
  try {
    target_.Close();
  } catch (const ZipException&) {
  }
  journal_.reset();
  retirePath_.clear();
  kind_ = Kind::Scratch;
}
