#include "zip/ZipJournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "platform/Env.h"
#include "zip/ZipException.h"
#include "zip/ZipLittleEndian.h"

namespace {

constexpr char kMagic[4] = {'A', 'K', 'J', '2'};
constexpr size_t kHeaderSize = 44;
constexpr size_t kRecordHeadSize = 16;
// Original bytes are saved in records of at most this size.
constexpr uint64_t kRecordSize = 1 << 20;
// Archive bytes before the first change that the check value covers.
constexpr uint64_t kCheckedDataSize = 64 << 10;

using zip_le::Get32;
using zip_le::Get64;
using zip_le::Put32;
using zip_le::Put64;

uint32_t Crc(uint32_t crc, const void* data, size_t count) {
  return static_cast<uint32_t>(
      crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(count)));
}

std::string DirectoryOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectoryOf(const std::string& path) {
  int error = platform::Env::Current()->SyncDirectory(DirectoryOf(path));
  if (error != 0) throw ZipException(error, path);
}

void RemoveDurably(const std::string& path) {
  int error = platform::Env::Current()->RemoveFile(path);
  if (error != 0 && error != ENOENT) throw ZipException(error, path);
  SyncDirectoryOf(path);
}

// Reads exactly `count` bytes; false at a short read.
bool ReadFully(ZipAbstractFile& file, void* buffer, size_t count) {
  return file.Read(buffer, count) == count;
}

// Extends `*crc` by `count` bytes of `file` from `offset`; false when the file
// ends before them.
bool CrcOfRange(ZipAbstractFile& file, uint64_t offset, uint64_t count, uint32_t* crc) {
  std::string bytes;
  file.Seek(static_cast<int64_t>(offset), 0);
  while (count > 0) {
    bytes.resize(static_cast<size_t>(std::min(kRecordSize, count)));
    if (!ReadFully(file, &bytes[0], bytes.size())) return false;
    *crc = Crc(*crc, bytes.data(), bytes.size());
    count -= bytes.size();
  }
  return true;
}

struct Header {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t originalLength = 0;
  uint64_t checkedFrom = 0;
  uint32_t checkValue = 0;
};

// A record found intact in the journal.
struct Record {
  uint64_t offset;
  uint64_t length;
  uint64_t bytesAt;  // where its bytes begin in the journal
};

bool ReadHeader(ZipAbstractFile& journal, Header* header) {
  unsigned char bytes[kHeaderSize];
  if (!ReadFully(journal, bytes, sizeof bytes) || std::memcmp(bytes, kMagic, 4) != 0 ||
      Crc(0, bytes, kHeaderSize - 4) != Get32(bytes + kHeaderSize - 4)) {
    return false;
  }
  header->device = Get64(bytes + 4);
  header->inode = Get64(bytes + 12);
  header->originalLength = Get64(bytes + 20);
  header->checkedFrom = Get64(bytes + 28);
  header->checkValue = Get32(bytes + 36);
  return header->checkedFrom <= header->originalLength;
}

// The records that together hold the original bytes from the lowest offset
// saved to the original end, in ascending order. Records of a save cut short
// by a crash stand apart and are left out: the change they were to cover had
// not begun.
std::vector<Record> ReadSavedRanges(ZipAbstractFile& journal, uint64_t originalLength) {
  std::map<uint64_t, Record> byEnd;
  unsigned char head[kRecordHeadSize];
  std::string bytes;
  while (ReadFully(journal, head, sizeof head)) {
    const Record record{Get64(head), Get64(head + 8), journal.Position()};
    if (record.length == 0 || record.length > kRecordSize || record.offset >= originalLength ||
        record.length > originalLength - record.offset) {
      break;
    }
    bytes.resize(static_cast<size_t>(record.length));
    unsigned char crc[4];
    if (!ReadFully(journal, &bytes[0], bytes.size()) || !ReadFully(journal, crc, 4)) break;
    if (Crc(Crc(0, head, sizeof head), bytes.data(), bytes.size()) != Get32(crc)) break;
    byEnd.emplace(record.offset + record.length, record);
  }
  std::vector<Record> chain;
  for (auto it = byEnd.find(originalLength); it != byEnd.end(); it = byEnd.find(chain.back().offset)) {
    chain.push_back(it->second);
  }
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// True when the journal was made for this very archive and state: the same
// file, and the archive overlaid with the saved bytes reproduces the check
// value of the original bytes.
bool BelongsTo(const Header& header, const std::vector<Record>& saved, ZipAbstractFile& journal,
               const std::string& archivePath, ZipAbstractFile& archive) {
  platform::FileInfo identity;
  if (platform::Env::Current()->LinkStat(archivePath, &identity) != 0 ||
      identity.device != header.device || identity.inode != header.inode) {
    return false;
  }
  // The archive holds every original byte that the journal does not.
  const uint64_t savedFrom = saved.empty() ? header.originalLength : saved.front().offset;
  if (archive.Length() < savedFrom) return false;
  uint32_t crc = 0;
  if (header.checkedFrom < savedFrom &&
      !CrcOfRange(archive, header.checkedFrom, savedFrom - header.checkedFrom, &crc)) {
    return false;
  }
  for (const Record& record : saved) {
    const uint64_t end = record.offset + record.length;
    const uint64_t from = std::max(record.offset, header.checkedFrom);
    if (from < end &&
        !CrcOfRange(journal, record.bytesAt + (from - record.offset), end - from, &crc)) {
      return false;
    }
  }
  return crc == header.checkValue;
}

void PlayBack(const Header& header, const std::vector<Record>& saved, ZipAbstractFile& journal,
              ZipAbstractFile& archive) {
  // Cutting what was added first frees the room the saved bytes need on a
  // full disk.
  if (archive.Length() > header.originalLength) archive.SetLength(header.originalLength);
  std::string bytes;
  for (const Record& record : saved) {
    bytes.resize(static_cast<size_t>(record.length));
    journal.Seek(static_cast<int64_t>(record.bytesAt), 0);
    if (!ReadFully(journal, &bytes[0], bytes.size())) {
      throw ZipException(ZipException::BadArchive, journal.Path());
    }
    archive.Seek(static_cast<int64_t>(record.offset), 0);
    archive.Write(bytes.data(), bytes.size());
  }
  archive.SetLength(header.originalLength);
  archive.Flush();
}

}  // namespace

std::string ZipJournal::PathFor(const std::string& archivePath) {
  return archivePath + ".journal";
}

std::string ZipJournal::SetAsidePathFor(const std::string& archivePath) {
  return PathFor(archivePath) + ".refused";
}

ZipJournal::Recovery ZipJournal::Recover(const std::string& archivePath,
                                         ZipAbstractFile& archive) {
  platform::Env* env = platform::Env::Current();
  const std::string path = PathFor(archivePath);
  platform::FileInfo info;
  if (env->LinkStat(path, &info) != 0) return Recovery::None;
  bool matches = false;
  ZipFile journal;
  // A link or another account's file is never read as a journal.
  if (journal.Open(path, ZipAbstractFile::kOpenScratch, false)) {
    Header header;
    if (ReadHeader(journal, &header)) {
      const std::vector<Record> saved = ReadSavedRanges(journal, header.originalLength);
      matches = BelongsTo(header, saved, journal, archivePath, archive);
      if (matches) PlayBack(header, saved, journal, archive);
    }
    journal.Close();
  }
  if (matches) {
    RemoveDurably(path);
    return Recovery::PlayedBack;
  }
  const int error = env->RenameFile(path, SetAsidePathFor(archivePath));
  if (error != 0) throw ZipException(error, path);
  SyncDirectoryOf(path);
  return Recovery::SetAside;
}

void ZipJournal::RemoveOrphan(const std::string& archivePath) {
  const std::string path = PathFor(archivePath);
  platform::FileInfo info;
  if (platform::Env::Current()->LinkStat(path, &info) == 0) RemoveDurably(path);
}

ZipJournal::ZipJournal(std::string archivePath, uint64_t originalLength)
    : archivePath_(std::move(archivePath)),
      path_(PathFor(archivePath_)),
      originalLength_(originalLength),
      savedFrom_(originalLength) {}

ZipJournal::~ZipJournal() = default;

// The header binds the journal to the archive before the first change at
// `position`.
void ZipJournal::Create(uint64_t position, ZipAbstractFile& archive) {
  platform::FileInfo identity;
  int error = platform::Env::Current()->LinkStat(archivePath_, &identity);
  if (error != 0) throw ZipException(error, archivePath_);
  const uint64_t checkedFrom = position > kCheckedDataSize ? position - kCheckedDataSize : 0;
  uint32_t checkValue = 0;
  if (!CrcOfRange(archive, checkedFrom, originalLength_ - checkedFrom, &checkValue)) {
    throw ZipException(ZipException::BadArchive, archivePath_);
  }
  journal_.Open(path_, ZipAbstractFile::kCreateScratch, true);
  unsigned char header[kHeaderSize];
  std::memcpy(header, kMagic, 4);
  Put64(header + 4, identity.device);
  Put64(header + 12, identity.inode);
  Put64(header + 20, originalLength_);
  Put64(header + 28, checkedFrom);
  Put32(header + 36, checkValue);
  Put32(header + 40, Crc(0, header, kHeaderSize - 4));
  journal_.Write(header, sizeof header);
}

void ZipJournal::Protect(uint64_t position, ZipAbstractFile& archive) {
  if (position >= savedFrom_) return;
  const uint64_t resume = archive.Position();
  const bool created = IsEmpty();
  if (created) Create(position, archive);
  std::string bytes;
  for (uint64_t at = position; at < savedFrom_;) {
    bytes.resize(static_cast<size_t>(std::min(kRecordSize, savedFrom_ - at)));
    archive.Seek(static_cast<int64_t>(at), 0);
    if (!ReadFully(archive, &bytes[0], bytes.size())) {
      throw ZipException(ZipException::BadArchive, archivePath_);
    }
    AppendRecord(at, bytes);
    at += bytes.size();
  }
  archive.Seek(static_cast<int64_t>(resume), 0);
  journal_.Flush();
  // The journal's name must be on disk before the archive changes.
  if (created) SyncDirectoryOf(path_);
  savedFrom_ = position;
}

void ZipJournal::AppendRecord(uint64_t offset, const std::string& bytes) {
  unsigned char head[kRecordHeadSize];
  Put64(head, offset);
  Put64(head + 8, bytes.size());
  unsigned char crc[4];
  Put32(crc, Crc(Crc(0, head, sizeof head), bytes.data(), bytes.size()));
  journal_.Write(head, sizeof head);
  journal_.Write(bytes.data(), bytes.size());
  journal_.Write(crc, sizeof crc);
}

void ZipJournal::Discard() {
  if (IsEmpty()) return;
  journal_.Close();
  RemoveDurably(path_);
}

void ZipJournal::RollBack(ZipAbstractFile& archive) {
  if (IsEmpty()) return;
  journal_.Close();
  Recover(archivePath_, archive);
}

ZipJournal::Recovery RecoverPendingJournal(const std::string& archivePath) {
  platform::FileInfo info;
  if (platform::Env::Current()->LinkStat(ZipJournal::PathFor(archivePath), &info) != 0) {
    return ZipJournal::Recovery::None;
  }
  ZipFile archive;
  archive.Open(archivePath, ZipAbstractFile::kOpenArchive, true);
  const ZipJournal::Recovery recovery = ZipJournal::Recover(archivePath, archive);
  archive.Close();
  return recovery;
}
