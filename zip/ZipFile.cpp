#include "zip/ZipFile.h"

#include <cerrno>

#include "zip/ZipException.h"

ZipFile::~ZipFile() = default;

namespace {

// The errno values from 100 up (a network or FUSE file system: ENOTCONN,
// ESTALE, ...) share numbers with the writer's own codes; a file that gives
// one is reported with the input/output error it is rather than taken for
// one of those codes.
int AsFileError(int error) { return error < ZipException::GenericError ? error : EIO; }

}  // namespace

void ZipFile::Check(int error) const {
  if (error != 0) throw ZipException(error, path_);
}

// Every file opened for writing is one of the writer's own in a folder that
// others may write as well: it is never reached through a symbolic link and
// must be a regular file of this user's (see Env::OpenOwnFile); a file the
// mode creates must be new.
int ZipFile::OpenOwn(const std::string& path, int openFlags) {
  const platform::LockKind exclusive = platform::LockKind::Exclusive;
  const bool locked = (openFlags & ShareDenyWrite) != 0;
  int error = platform::Env::Current()->OpenOwnFile(path, (openFlags & ModeCreate) != 0,
                                                    locked ? &exclusive : nullptr, &file_);
  if (error == EWOULDBLOCK) return ZipException::ArchiveInUse;
  if (error == ELOOP) return ZipException::LinkRefused;
  if (error == EPERM) return ZipException::NotOwnFile;
  return error;
}

// Deny-write sharing is carried by an advisory lock held while the file is
// open: a writer (deny write, read-write) takes it exclusively, so a second
// writer of the same archive is refused at once with ArchiveInUse; a reader
// (deny write, read-only) takes it shared, so it excludes writers but not
// other readers. Files opened without deny-write take no lock.
bool ZipFile::Open(const std::string& path, int openFlags, bool throwOnError) {
  if (file_ != nullptr) Close();
  path_ = path;
  platform::Env* env = platform::Env::Current();
  int error = 0;
  if ((openFlags & ModeWrite) != 0) {
    error = OpenOwn(path, openFlags);
  } else if ((openFlags & ShareDenyWrite) != 0) {
    error = env->OpenLocked(path, platform::OpenMode::ReadOnly, platform::LockKind::Shared, &file_);
    if (error == EWOULDBLOCK) error = ZipException::ArchiveInUse;
  } else {
    error = AsFileError(env->OpenFile(path, platform::OpenMode::ReadOnly, &file_));
  }
  unsynced_ = (openFlags & ModeCreate) != 0;
  position_ = -1;
  if (error == 0) return true;
  file_.reset();
  if (throwOnError) Check(error);
  return false;
}

void ZipFile::Close() {
  if (file_ == nullptr) return;
  int error = file_->Close();
  file_.reset();
  Check(error);
}

void ZipFile::Flush() {
  if (file_ == nullptr) Check(EBADF);
  if (!unsynced_) return;
  Check(file_->Sync());
  unsynced_ = false;
}

uint64_t ZipFile::Position() {
  if (file_ != nullptr && position_ >= 0) return static_cast<uint64_t>(position_);
  return Seek(0, 1);
}

uint64_t ZipFile::Seek(int64_t offset, int origin) {
  if (file_ == nullptr) Check(EBADF);
  uint64_t position = 0;
  position_ = -1;
  Check(file_->Seek(offset, origin, &position));
  position_ = static_cast<int64_t>(position);
  return position;
}

uint64_t ZipFile::Length() {
  if (file_ == nullptr) Check(EBADF);
  uint64_t length = 0;
  Check(file_->Length(&length));
  return length;
}

void ZipFile::SetLength(uint64_t length) {
  if (file_ == nullptr) Check(EBADF);
  unsynced_ = true;
  Check(file_->Truncate(length));
}

size_t ZipFile::Read(void* buffer, size_t count) {
  if (file_ == nullptr) Check(EBADF);
  size_t bytesRead = 0;
  const int error = AsFileError(file_->Read(buffer, count, &bytesRead));
  if (error != 0) position_ = -1;
  Check(error);
  if (position_ >= 0) position_ += static_cast<int64_t>(bytesRead);
  return bytesRead;
}

void ZipFile::Write(const void* buffer, size_t count) {
  if (file_ == nullptr) Check(EBADF);
  unsynced_ = true;
  const int error = file_->Write(buffer, count);
  if (error != 0) position_ = -1;
  Check(error);
  if (position_ >= 0) position_ += static_cast<int64_t>(count);
}
