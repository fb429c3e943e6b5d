#include "zip/ZipStorage.h"

#include <algorithm>
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
  readLength_ = readPos_ = 0;
  readStartKnown_ = false;
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

ZipAbstractFile& ZipStorage::File() {
  atEnd_ = false;
  if (readOnly_) DropReadAhead();
  return *file_;
}

void ZipStorage::DropReadAhead() {
  if (readStartKnown_ && readPos_ != readLength_) {
    file_->Seek(static_cast<int64_t>(readStart_ + readPos_), 0);
  }
  readLength_ = readPos_ = 0;
  readStartKnown_ = false;
}

void ZipStorage::ReadAhead(char* buffer, size_t count) {
  if (!readStartKnown_) {
    readStart_ = file_->Position();
    readStartKnown_ = true;
  }
  const size_t buffered = std::min<size_t>(count, readLength_ - readPos_);
  std::memcpy(buffer, writeBuffer_.Data() + readPos_, buffered);
  readPos_ += static_cast<uint32_t>(buffered);
  if (buffered == count) return;
  buffer += buffered;
  count -= buffered;
  readStart_ += readLength_;
  readLength_ = readPos_ = 0;
  if (count >= kWriteBufferSize) {
    const size_t got = file_->Read(buffer, count);
    readStart_ += got;
    if (got != count) throw ZipException(ZipException::BadArchive, ArchivePath());
    return;
  }
  readLength_ = static_cast<uint32_t>(file_->Read(writeBuffer_.Data(), kWriteBufferSize));
  if (readLength_ < count) throw ZipException(ZipException::BadArchive, ArchivePath());
  std::memcpy(buffer, writeBuffer_.Data(), count);
  readPos_ = static_cast<uint32_t>(count);
}

void ZipStorage::ReadExact(void* buffer, size_t count) {
  atEnd_ = false;
  if (readOnly_) {
    ReadAhead(static_cast<char*>(buffer), count);
    return;
  }
  if (file_->Read(buffer, count) != count) {
    throw ZipException(ZipException::BadArchive, ArchivePath());
  }
}

void ZipStorage::SeekTo(uint64_t position) {
  if (readOnly_ && readStartKnown_ && position >= readStart_ &&
      position <= readStart_ + readLength_) {
    readPos_ = static_cast<uint32_t>(position - readStart_);
    return;
  }
  Flush();
  atEnd_ = false;
  if (readOnly_) {
    readStart_ = position;
    readLength_ = readPos_ = 0;
    readStartKnown_ = true;
  }
  file_->Seek(static_cast<int64_t>(position), 0);
}

uint64_t ZipStorage::SeekToEnd() {
  if (atEnd_) return Position();
  Flush();
  uint64_t end = file_->Seek(0, 2);
  atEnd_ = true;
  if (readOnly_) {
    readStart_ = end;
    readLength_ = readPos_ = 0;
    readStartKnown_ = true;
  }
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

uint64_t ZipStorage::Position() {
  if (readOnly_ && readStartKnown_) return readStart_ + readPos_;
  return file_->Position() + bufferedBytes_;
}

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
