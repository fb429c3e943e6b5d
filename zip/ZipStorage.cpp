#include "zip/ZipStorage.h"

#include <cstring>

#include "zip/ZipException.h"
#include "zip/ZipMemFile.h"

void ZipStorage::Open(const std::string& path, ZipOpenMode mode) {
  if (mode == ZipOpenMode::CreateMultiVolume) {
    throw ZipException(ZipException::MultiVolumeUnsupported, path);
  }
  int flags = mode == ZipOpenMode::CreateNew      ? ZipAbstractFile::kCreateArchive
              : mode == ZipOpenMode::OpenReadOnly ? ZipAbstractFile::kOpenArchiveReadOnly
                                                  : ZipAbstractFile::kOpenArchive;
  ownFile_.Open(path, flags, true);
  Start(&ownFile_, false, mode == ZipOpenMode::OpenReadOnly);
}

void ZipStorage::OpenScratch(const std::string& path) {
  ownFile_.Open(path, ZipAbstractFile::kOpenScratch, true);
  Start(&ownFile_, false, false);
}

void ZipStorage::Start(ZipAbstractFile* file, bool inMemory, bool readOnly) {
  file_ = file;
  inMemory_ = inMemory;
  readOnly_ = readOnly;
  writeBuffer_.Allocate(kWriteBufferSize);
  bufferedBytes_ = 0;
  atEnd_ = false;
}

void ZipStorage::Open(ZipMemFile* memoryFile, ZipOpenMode mode) {
  if (mode == ZipOpenMode::CreateMultiVolume) {
    throw ZipException(ZipException::MultiVolumeUnsupported, "");
  }
  if (mode == ZipOpenMode::CreateNew) memoryFile->SetLength(0);
  memoryFile->SeekToStart();
  Start(memoryFile, true, mode == ZipOpenMode::OpenReadOnly);
}

std::string ZipStorage::ArchivePath() const { return file_ == nullptr ? "" : file_->Path(); }

void ZipStorage::Write(const void* data, size_t count) {
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
    if (bufferedBytes_ == kWriteBufferSize) Flush();
    size_t room = kWriteBufferSize - bufferedBytes_;
    size_t n = count < room ? count : room;
    std::memcpy(writeBuffer_.Data() + bufferedBytes_, bytes, n);
    bufferedBytes_ += static_cast<uint32_t>(n);
    bytes += n;
    count -= n;
  }
}

void ZipStorage::Flush() {
  if (bufferedBytes_ == 0) return;
  // A failed write leaves the buffer as it was and the file position where the
  // buffer belongs, so the bytes can still be dropped (TruncateAt) or written
  // again once there is room.
  uint64_t start = file_->Position();
  try {
    file_->Write(writeBuffer_.Data(), bufferedBytes_);
  } catch (const ZipException&) {
    try {
      file_->Seek(static_cast<int64_t>(start), 0);
    } catch (const ZipException&) {
      // The write error is the one to report.
    }
    throw;
  }
  bufferedBytes_ = 0;
}

void ZipStorage::ReadExact(void* buffer, size_t count) {
  atEnd_ = false;
  if (file_->Read(buffer, count) != count) {
    throw ZipException(ZipException::BadArchive, ArchivePath());
  }
}

void ZipStorage::SeekTo(uint64_t position) {
  Flush();
  atEnd_ = false;
  file_->Seek(static_cast<int64_t>(position), 0);
}

uint64_t ZipStorage::SeekToEnd() {
  if (atEnd_) return Position();
  Flush();
  uint64_t end = file_->Seek(0, 2);
  atEnd_ = true;
  return end;
}

void ZipStorage::Overwrite(uint64_t position, const void* data, size_t count) {
  uint64_t filePosition = file_->Position();
  if (position >= filePosition && position + count <= filePosition + bufferedBytes_) {
    std::memcpy(writeBuffer_.Data() + (position - filePosition), data, count);
    return;
  }
  Flush();
  uint64_t resume = file_->Position();
  file_->Seek(static_cast<int64_t>(position), 0);
  file_->Write(data, count);
  file_->Seek(static_cast<int64_t>(resume), 0);
}

uint64_t ZipStorage::Length() {
  Flush();
  return file_->Length();
}

void ZipStorage::TruncateAt(uint64_t position) {
  uint64_t filePosition = file_->Position();
  if (position >= filePosition && position <= filePosition + bufferedBytes_) {
    bufferedBytes_ = static_cast<uint32_t>(position - filePosition);
    file_->SetLength(filePosition);
  } else {
    bufferedBytes_ = 0;
    file_->SetLength(position);
    file_->Seek(static_cast<int64_t>(position), 0);
  }
  atEnd_ = true;
}

void ZipStorage::SetLength(uint64_t length) {
  Flush();
  atEnd_ = false;
  file_->SetLength(length);
}

uint64_t ZipStorage::Position() { return file_->Position() + bufferedBytes_; }

std::string ZipStorage::Close(bool afterError) {
  std::string path = ArchivePath();
  if (file_ == nullptr) return path;
  if (afterError) {
    CloseQuietly();
    return path;
  }
  try {
    Flush();
    if (!inMemory_) ownFile_.Commit();
  } catch (...) {
    CloseQuietly();
    throw;
  }
  Reset();
  return path;
}

void ZipStorage::CloseQuietly() {
  bufferedBytes_ = 0;
  if (!inMemory_) ownFile_.Abandon();
  Reset();
}

void ZipStorage::Reset() {
  file_ = nullptr;
  writeBuffer_.Release();
  bufferedBytes_ = 0;
  atEnd_ = false;
  inMemory_ = false;
  readOnly_ = false;
}
