#include "zip/ZipCentralDir.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "zip/Zip64EndRecord.h"
#include "zip/Zip64ExtraField.h"
#include "zip/ZipActionCallback.h"
#include "zip/ZipException.h"
#include "zip/ZipLittleEndian.h"
#include "zip/ZipStorage.h"

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
// Save progress is reported after the first header and then every this many.
constexpr int kSaveProgressStep = 256;

using zip_le::Get16;
using zip_le::Get32;
using zip_le::Put16;
using zip_le::Put32;

// The last component of an entry name, without trailing separators.
std::string LastComponent(std::string name) {
  while (!name.empty() && name.back() == '/') name.pop_back();
  std::string::size_type slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

ZipCentralDir::ZipCentralDir(ZipStorage& storage) : storage_(storage) {}

ZipCentralDir::~ZipCentralDir() = default;

void ZipCentralDir::Clear() {
  headers_.clear();
  std::vector<unsigned char>().swap(rawHeaders_);
  rawHeaderCount_ = 0;
  nameIndex_.Clear();
  nameIndexBuilt_ = false;
  comment_.clear();
  current_ = -1;
  bytesBeforeArchive_ = 0;
  centralDirOffset_ = 0;
  centralDirSize_ = 0;
  onDisk_ = false;
}

void ZipCentralDir::ThrowBadArchive() const {
  throw ZipException(ZipException::BadArchive, storage_.ArchivePath());
}

uint64_t ZipCentralDir::LocateEndRecord(uint64_t fileLength) {
  size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileLength, kEndRecordSearchSize));
  if (tailSize < 4) throw ZipException(ZipException::EndRecordMissing, storage_.ArchivePath());
  std::vector<unsigned char> tail(tailSize);
  storage_.SeekTo(fileLength - tailSize);
  storage_.ReadExact(tail.data(), tailSize);
  // The record nearest the end wins, but one whose comment ends exactly at the
  // end of the file is preferred: a comment may itself hold the signature.
  size_t nearest = tailSize;
  for (size_t p = tailSize - 4 + 1; p-- > 0;) {
    if (Get32(&tail[p]) != kEndSignature) continue;
    if (p + kEndRecordSize <= tailSize && p + kEndRecordSize + Get16(&tail[p + 20]) == tailSize) {
      return fileLength - tailSize + p;
    }
    if (nearest == tailSize) nearest = p;
  }
  if (nearest == tailSize) throw ZipException(ZipException::EndRecordMissing, storage_.ArchivePath());
  return fileLength - tailSize + nearest;
}

void ZipCentralDir::Read() {
  Clear();
  uint64_t fileLength = storage_.Length();
  uint64_t endPosition = LocateEndRecord(fileLength);
  if (endPosition + kEndRecordSize > fileLength) ThrowBadArchive();
  unsigned char record[kEndRecordSize];
  storage_.SeekTo(endPosition);
  storage_.ReadExact(record, sizeof record);
  uint16_t thisDisk = Get16(record + 4);
  uint16_t centralDirDisk = Get16(record + 6);
  uint64_t entriesOnDisk = Get16(record + 8);
  uint64_t totalEntries = Get16(record + 10);
  centralDirSize_ = Get32(record + 12);
  centralDirOffset_ = Get32(record + 16);
  uint16_t commentLength = Get16(record + 20);
  if (thisDisk != 0 || centralDirDisk != 0) {
    throw ZipException(ZipException::MultiVolumeUnsupported, storage_.ArchivePath());
  }
  if (endPosition + kEndRecordSize + commentLength > fileLength) ThrowBadArchive();
  comment_.resize(commentLength);
  if (commentLength != 0) storage_.ReadExact(&comment_[0], commentLength);
  // With ZIP64 records the directory ends where they begin, and they hold
  // the counts, size and offset.
  uint64_t directoryEnd = endPosition;
  Zip64EndRecord zip64;
  uint64_t zip64Position = zip64.Read(storage_, endPosition);
  if (zip64Position != UINT64_MAX) {
    directoryEnd = zip64Position;
    entriesOnDisk = totalEntries = zip64.totalEntries;
    centralDirSize_ = zip64.centralDirSize;
    centralDirOffset_ = zip64.centralDirOffset;
  }
  if (directoryEnd < centralDirOffset_ || directoryEnd - centralDirOffset_ < centralDirSize_) {
    ThrowBadArchive();
  }
  bytesBeforeArchive_ = directoryEnd - centralDirOffset_ - centralDirSize_;
  if ((centralDirSize_ == 0) != (totalEntries == 0) || entriesOnDisk != totalEntries) {
    ThrowBadArchive();
  }
  if (totalEntries != 0) ReadHeaders(totalEntries);
  onDisk_ = true;
}

// Reads the central directory and checks every header. A writer keeps the
// bytes instead of building the entry list: an incremental run that adds
// nothing to a large archive never needs it. A reader needs every entry, so
// it builds the list as it reads, a piece at a time, never holding the bytes
// and the list at once.
void ZipCentralDir::ReadHeaders(uint64_t totalEntries) {
  if (totalEntries > centralDirSize_ / ZipFileHeader::kCentralFixedSize) ThrowBadArchive();
  if (storage_.IsReadOnly()) {
    BuildHeadersFromFile(static_cast<size_t>(totalEntries));
    return;
  }
  rawHeaders_.resize(static_cast<size_t>(centralDirSize_));
  storage_.SeekTo(centralDirOffset_ + bytesBeforeArchive_);
  storage_.ReadExact(rawHeaders_.data(), rawHeaders_.size());
  rawHeaderCount_ = static_cast<size_t>(totalEntries);
  std::vector<uint64_t> offsets;
  offsets.reserve(rawHeaderCount_);
  ForEachRawHeader([&](const ZipFileHeader& header) {
    CheckHeader(header);
    offsets.push_back(header.localHeaderOffset);
  });
  if (!std::is_sorted(offsets.begin(), offsets.end())) std::sort(offsets.begin(), offsets.end());
  if (std::adjacent_find(offsets.begin(), offsets.end()) != offsets.end()) ThrowBadArchive();
}

void ZipCentralDir::CheckHeader(const ZipFileHeader& header) const {
  if (header.diskStart != 0) {
    throw ZipException(ZipException::MultiVolumeUnsupported, storage_.ArchivePath());
  }
  if (header.localHeaderOffset + ZipFileHeader::kLocalFixedSize > centralDirOffset_) {
    ThrowBadArchive();
  }
}

void ZipCentralDir::BuildHeadersFromFile(size_t count) {
  constexpr size_t kPieceSize = 1 << 20;  // more than the longest header (46 + 3 * 65535 bytes)
  std::vector<unsigned char> piece;
  size_t used = 0;
  uint64_t unread = centralDirSize_;
  storage_.SeekTo(centralDirOffset_ + bytesBeforeArchive_);
  headers_.reserve(count);
  ZipFileHeader header;
  for (size_t i = 0; i < count; ++i) {
    size_t consumed = 0;
    while (!header.ParseCentralHeader(piece.data() + used, piece.size() - used, &consumed)) {
      if (unread == 0 || piece.size() - used >= kPieceSize) ThrowBadArchive();
      piece.erase(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(used));
      used = 0;
      const size_t more = static_cast<size_t>(std::min<uint64_t>(unread, kPieceSize));
      piece.resize(piece.size() + more);
      storage_.ReadExact(piece.data() + piece.size() - more, more);
      unread -= more;
    }
    used += consumed;
    CheckHeader(header);
    headers_.push_back(std::make_unique<ZipFileHeader>(header));
  }
  if (used != piece.size() || unread != 0) ThrowBadArchive();
  SortByOffset();
  const auto sameOffset = [](const std::unique_ptr<ZipFileHeader>& a,
                             const std::unique_ptr<ZipFileHeader>& b) {
    return a->localHeaderOffset == b->localHeaderOffset;
  };
  if (std::adjacent_find(headers_.begin(), headers_.end(), sameOffset) != headers_.end()) {
    ThrowBadArchive();
  }
}

template <typename Visit>
void ZipCentralDir::ForEachRawHeader(Visit visit) const {
  ZipFileHeader header;
  size_t used = 0;
  for (size_t i = 0; i < rawHeaderCount_; ++i) {
    size_t consumed = 0;
    if (!header.ParseCentralHeader(rawHeaders_.data() + used, rawHeaders_.size() - used,
                                   &consumed)) {
      ThrowBadArchive();
    }
    used += consumed;
    visit(header);
  }
  if (used != rawHeaders_.size()) ThrowBadArchive();
}

// Builds the entry list, in physical order, from the bytes kept by ReadHeaders.
void ZipCentralDir::LoadHeaders() const {
  if (rawHeaderCount_ == 0) return;
  headers_.reserve(rawHeaderCount_);
  ForEachRawHeader([this](const ZipFileHeader& header) {
    headers_.push_back(std::make_unique<ZipFileHeader>(header));
  });
  std::vector<unsigned char>().swap(rawHeaders_);
  rawHeaderCount_ = 0;
  SortByOffset();
}

void ZipCentralDir::SortByOffset() const {
  const auto byOffset = [](const std::unique_ptr<ZipFileHeader>& a,
                          const std::unique_ptr<ZipFileHeader>& b) {
    return a->localHeaderOffset < b->localHeaderOffset;
  };
  if (!std::is_sorted(headers_.begin(), headers_.end(), byOffset)) {
    std::stable_sort(headers_.begin(), headers_.end(), byOffset);
  }
}

void ZipCentralDir::BuildNameIndex() const {
  if (nameIndexBuilt_) return;
  LoadHeaders();
  nameIndexBuilt_ = true;
  for (int i = 0; i < Count(); ++i) IndexName(i);
}

void ZipCentralDir::IndexName(int index) const {
  if (nameIndexBuilt_) nameIndex_.Add(headers_[index]->SystemName(), index);
}

void ZipCentralDir::UnindexName(int index) {
  if (nameIndexBuilt_) nameIndex_.Remove(headers_[index]->SystemName(), index);
}

ZipFileHeader* ZipCentralDir::AddEntry(const ZipFileHeader& header, int replaceIndex) {
  LoadHeaders();
  auto entry = std::make_unique<ZipFileHeader>(header);
  bool replacing = replaceIndex >= 0 && replaceIndex < Count();
  if (onDisk_) {
    storage_.SetLength(centralDirOffset_ + bytesBeforeArchive_);
    onDisk_ = false;
  }
  if (replacing) {
    entry->localHeaderOffset = headers_[replaceIndex]->localHeaderOffset;
    storage_.SeekTo(entry->localHeaderOffset + bytesBeforeArchive_);
    UnindexName(replaceIndex);
    headers_[replaceIndex] = std::move(entry);
    current_ = replaceIndex;
  } else {
    entry->localHeaderOffset = storage_.SeekToEnd() - bytesBeforeArchive_;
    headers_.push_back(std::move(entry));
    current_ = Count() - 1;
  }
  IndexName(current_);
  return Current();
}

ZipFileHeader* ZipCentralDir::ResumeEntry(int index) {
  current_ = index;
  Current()->localHeaderOffset = storage_.SeekToEnd() - bytesBeforeArchive_;
  return Current();
}

void ZipCentralDir::EndEntryWrite() {
  ZipFileHeader& entry = *Current();
  const uint64_t position = entry.localHeaderOffset + bytesBeforeArchive_;
  unsigned char crcAndSizes[12];
  entry.WriteLocalCrcAndSizes(crcAndSizes);
  storage_.Overwrite(position + 14, crcAndSizes, sizeof crcAndSizes);
  if (entry.zip64Local) {
    const std::string sizes = Zip64ExtraField::ForLocal(entry.uncompressedSize, entry.compressedSize);
    storage_.Overwrite(position + ZipFileHeader::kLocalFixedSize + entry.Name().size() + 4,
                       sizes.data() + 4, sizes.size() - 4);
  }
  current_ = -1;
}

void ZipCentralDir::RemoveEntry(int index) {
  LoadHeaders();
  UnindexName(index);
  headers_.erase(headers_.begin() + index);
  if (index < Count()) nameIndex_.CloseGap(index);
  if (current_ == index) {
    current_ = -1;
  } else if (current_ > index) {
    --current_;
  }
}

int ZipCentralDir::FindEntry(const std::string& name, bool nameOnly) const {
  BuildNameIndex();
  return nameOnly ? FindByLastComponent(name) : FindByName(name);
}

int ZipCentralDir::FindByName(const std::string& name) const {
  return nameIndex_.Find(name, [&](int index) { return headers_[index]->SystemName() == name; });
}

// Of the entries whose last component is `name`, the first in the order of
// their whole names (then of indexing).
int ZipCentralDir::FindByLastComponent(const std::string& name) const {
  int found = -1;
  uint32_t foundOrder = 0;
  std::string foundName;
  nameIndex_.ForEach([&](int index, uint32_t order) {
    std::string candidateName = headers_[index]->SystemName();
    if (LastComponent(candidateName) != name) return;
    if (found < 0 || candidateName < foundName ||
        (candidateName == foundName && order < foundOrder)) {
      found = index;
      foundOrder = order;
      foundName = std::move(candidateName);
    }
  });
  return found;
}

void ZipCentralDir::ReadLocalHeaderOf(int index) {
  ZipFileHeader& entry = Entry(index);
  storage_.SeekTo(entry.localHeaderOffset + bytesBeforeArchive_);
  if (!entry.CheckLocalHeader(storage_)) ThrowBadArchive();
}

uint64_t ZipCentralDir::EntryRoomEnd(int index) {
  LoadHeaders();
  if (index + 1 < Count()) return headers_[index + 1]->localHeaderOffset;
  if (onDisk_) return centralDirOffset_;
  return storage_.Length() - bytesBeforeArchive_;
}

void ZipCentralDir::ShiftOffsetsAfter(int index, int64_t delta) {
  LoadHeaders();
  for (int i = index + 1; i < Count(); ++i) {
    headers_[i]->localHeaderOffset = static_cast<uint64_t>(
        static_cast<int64_t>(headers_[i]->localHeaderOffset) + delta);
  }
}

bool ZipCentralDir::Write(ZipActionCallback* callback) {
  if (onDisk_) return true;
  LoadHeaders();
  uint64_t start = storage_.SeekToEnd();
  centralDirOffset_ = start - bytesBeforeArchive_;
  centralDirSize_ = 0;
  if (callback != nullptr) {
    callback->BeginAction("", "");
    callback->SetActionTotal(static_cast<uint64_t>(Count()));
  }
  bool goOn = true;
  int reported = 0;
  for (int i = 0; i < Count(); ++i) {
    centralDirSize_ += headers_[i]->WriteCentralHeader(storage_);
    if (callback == nullptr || !goOn) continue;
    if (i == 0 || i % kSaveProgressStep == 0) {
      int step = i + 1 - reported;
      reported = i + 1;
      goOn = callback->Advance(static_cast<uint64_t>(step));
    }
  }
  if (callback != nullptr) {
    if (goOn && reported < Count()) goOn = callback->Advance(static_cast<uint64_t>(Count() - reported));
    callback->EndAction();
  }
  Zip64EndRecord zip64;
  zip64.totalEntries = static_cast<uint64_t>(Count());
  zip64.centralDirSize = centralDirSize_;
  zip64.centralDirOffset = centralDirOffset_;
  if (zip64.IsNeeded()) zip64.Write(storage_, storage_.Position() - bytesBeforeArchive_);
  WriteEndRecord();
  onDisk_ = true;
  return goOn;
}

void ZipCentralDir::WriteEndRecord() {
  unsigned char record[kEndRecordSize] = {};
  Put32(record, kEndSignature);
  // Values that overflow their fields are in the ZIP64 record.
  const uint64_t entries = std::min<uint64_t>(static_cast<uint64_t>(Count()), Zip64ExtraField::kMax16);
  Put16(record + 8, entries);
  Put16(record + 10, entries);
  Put32(record + 12, std::min<uint64_t>(centralDirSize_, kMax32));
  Put32(record + 16, std::min<uint64_t>(centralDirOffset_, kMax32));
  Put16(record + 20, comment_.size());
  storage_.Write(record, sizeof record);
  storage_.Write(comment_.data(), comment_.size());
}
