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
  entries_.Clear();
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

// Reads the central directory and checks every header; its bytes become the
// entry list.
void ZipCentralDir::ReadHeaders(uint64_t totalEntries) {
  if (totalEntries > centralDirSize_ / ZipFileHeader::kCentralFixedSize) ThrowBadArchive();
  storage_.SeekTo(centralDirOffset_ + bytesBeforeArchive_);
  const auto read = [this](unsigned char* buffer, size_t size) {
    storage_.ReadExact(buffer, size);
  };
  const auto check = [this](const ZipFileHeader& header) { CheckHeader(header); };
  if (!entries_.Read(centralDirSize_, static_cast<size_t>(totalEntries), read, check)) {
    ThrowBadArchive();
  }
}

void ZipCentralDir::CheckHeader(const ZipFileHeader& header) const {
  if (header.diskStart != 0) {
    throw ZipException(ZipException::MultiVolumeUnsupported, storage_.ArchivePath());
  }
  if (header.localHeaderOffset + ZipFileHeader::kLocalFixedSize > centralDirOffset_) {
    ThrowBadArchive();
  }
}

void ZipCentralDir::Put(int index, const ZipFileHeader& header) {
  if (index == current_) {
    currentEntry_ = header;
  } else {
    entries_.Replace(static_cast<size_t>(index), header);
  }
}

void ZipCentralDir::StoreCurrent() {
  if (current_ >= 0) entries_.Replace(static_cast<size_t>(current_), currentEntry_);
}

void ZipCentralDir::ForgetCurrent() {
  StoreCurrent();
  current_ = -1;
}

void ZipCentralDir::BuildNameIndex() const {
  if (nameIndexBuilt_) return;
  nameIndexBuilt_ = true;
  for (int i = 0; i < Count(); ++i) IndexName(i, Entry(i));
}

void ZipCentralDir::IndexName(int index, const ZipFileHeader& header) const {
  if (nameIndexBuilt_) nameIndex_.Add(header.SystemName(), index);
}

void ZipCentralDir::UnindexName(int index) {
  if (nameIndexBuilt_) nameIndex_.Remove(Entry(index).SystemName(), index);
}

ZipFileHeader* ZipCentralDir::AddEntry(const ZipFileHeader& header, int replaceIndex) {
  // The list's records have 16-bit length fields.
  if (header.Name().size() > ZipFileHeader::kMaxFieldLength) {
    throw ZipException(ZipException::EntryTooLong, storage_.ArchivePath());
  }
  StoreCurrent();
  current_ = -1;
  bool replacing = replaceIndex >= 0 && replaceIndex < Count();
  if (onDisk_) {
    storage_.SetLength(centralDirOffset_ + bytesBeforeArchive_);
    onDisk_ = false;
  }
  currentEntry_ = header;
  if (replacing) {
    currentEntry_.localHeaderOffset = Entry(replaceIndex).localHeaderOffset;
    storage_.SeekTo(currentEntry_.localHeaderOffset + bytesBeforeArchive_);
    UnindexName(replaceIndex);
    entries_.Replace(static_cast<size_t>(replaceIndex), currentEntry_);
    current_ = replaceIndex;
  } else {
    currentEntry_.localHeaderOffset = storage_.SeekToEnd() - bytesBeforeArchive_;
    entries_.Append(currentEntry_);
    current_ = Count() - 1;
  }
  IndexName(current_, currentEntry_);
  return Current();
}

ZipFileHeader* ZipCentralDir::ResumeEntry(int index) {
  StoreCurrent();
  currentEntry_ = entries_.Get(static_cast<size_t>(index));
  current_ = index;
  currentEntry_.localHeaderOffset = storage_.SeekToEnd() - bytesBeforeArchive_;
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
  ForgetCurrent();
}

void ZipCentralDir::RemoveEntry(int index) {
  UnindexName(index);
  if (current_ == index) {
    current_ = -1;
  } else if (current_ > index) {
    --current_;
  }
  entries_.Erase(static_cast<size_t>(index));
  if (index < Count()) nameIndex_.CloseGap(index);
}

int ZipCentralDir::FindEntry(const std::string& name, bool nameOnly) const {
  BuildNameIndex();
  return nameOnly ? FindByLastComponent(name) : FindByName(name);
}

int ZipCentralDir::FindByName(const std::string& name) const {
  return nameIndex_.Find(name, [&](int index) { return Entry(index).SystemName() == name; });
}

// Of the entries whose last component is `name`, the first in the order of
// their whole names (then of indexing).
int ZipCentralDir::FindByLastComponent(const std::string& name) const {
  int found = -1;
  uint32_t foundOrder = 0;
  std::string foundName;
  nameIndex_.ForEach([&](int index, uint32_t order) {
    std::string candidateName = Entry(index).SystemName();
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

ZipFileHeader ZipCentralDir::ReadLocalHeaderOf(int index) {
  ZipFileHeader entry = Entry(index);
  const uint16_t flags = entry.flags;
  storage_.SeekTo(entry.localHeaderOffset + bytesBeforeArchive_);
  if (!entry.CheckLocalHeader(storage_)) ThrowBadArchive();
  if (entry.flags != flags) Put(index, entry);  // the local header's flag bits 0-3 hold
  return entry;
}

uint64_t ZipCentralDir::EntryRoomEnd(int index) {
  if (index + 1 < Count()) return Entry(index + 1).localHeaderOffset;
  if (onDisk_) return centralDirOffset_;
  return storage_.Length() - bytesBeforeArchive_;
}

void ZipCentralDir::ShiftOffsetsAfter(int index, int64_t delta) {
  for (int i = index + 1; i < Count(); ++i) {
    ZipFileHeader entry = Entry(i);
    entry.localHeaderOffset =
        static_cast<uint64_t>(static_cast<int64_t>(entry.localHeaderOffset) + delta);
    Put(i, entry);
  }
}

bool ZipCentralDir::Write(ZipActionCallback* callback) {
  if (onDisk_) return true;
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
    centralDirSize_ += Entry(i).WriteCentralHeader(storage_);
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
