#include "zip/ZipJournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "platform/Env.h"
#include "zip/ZipException.h"
#include "zip/ZipLittleEndian.h"

namespace {

constexpr char kMagic[4] = {'A', 'K', 'J', '1'};
constexpr size_t kHeaderSize = 16;
constexpr size_t kRecordHeadSize = 16;
// Original bytes are saved in records of at most this size.
constexpr uint64_t kRecordSize = 1 << 20;

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

}  // namespace

std::string ZipJournal::PathFor(const std::string& archivePath) {
  return archivePath + ".journal";
}

void ZipJournal::Recover(const std::string& archivePath, ZipAbstractFile& archive) {
  const std::string path = PathFor(archivePath);
  platform::FileInfo info;
  if (platform::Env::Current()->Stat(path, &info) != 0) return;
  ZipFile journal;
  journal.Open(path, ZipAbstractFile::kReadSource, true);
  unsigned char header[kHeaderSize];
  // A journal without a complete header was being made when the process
  // died: the archive was not touched yet.
  if (ReadFully(journal, header, sizeof header) && std::memcmp(header, kMagic, 4) == 0 &&
      Crc(0, header, 12) == Get32(header + 12)) {
    const uint64_t originalLength = Get64(header + 4);
    // Cutting what was added first frees the room the saved bytes need on a
    // full disk.
    if (archive.Length() > originalLength) archive.SetLength(originalLength);
    unsigned char head[kRecordHeadSize];
    std::string bytes;
    while (ReadFully(journal, head, sizeof head)) {
      const uint64_t offset = Get64(head);
      const uint64_t length = Get64(head + 8);
      if (length > kRecordSize || offset + length > originalLength) break;
      bytes.resize(static_cast<size_t>(length));
      unsigned char crc[4];
      if (!ReadFully(journal, &bytes[0], bytes.size()) || !ReadFully(journal, crc, 4)) break;
      if (Crc(Crc(0, head, sizeof head), bytes.data(), bytes.size()) != Get32(crc)) break;
      archive.Seek(static_cast<int64_t>(offset), 0);
      archive.Write(bytes.data(), bytes.size());
    }
    archive.SetLength(originalLength);
    archive.Flush();
  }
  journal.Close();
  RemoveDurably(path);
}

ZipJournal::ZipJournal(std::string archivePath, uint64_t originalLength)
    : archivePath_(std::move(archivePath)),
      path_(PathFor(archivePath_)),
      originalLength_(originalLength),
      savedFrom_(originalLength) {}

ZipJournal::~ZipJournal() = default;

void ZipJournal::Create() {
  journal_.Open(path_, ZipAbstractFile::kCreateScratch, true);
  unsigned char header[kHeaderSize];
  std::memcpy(header, kMagic, 4);
  Put64(header + 4, originalLength_);
  Put32(header + 12, Crc(0, header, 12));
  journal_.Write(header, sizeof header);
}

void ZipJournal::Protect(uint64_t position, ZipAbstractFile& archive) {
  if (position >= savedFrom_) return;
  const bool created = IsEmpty();
  if (created) Create();
  const uint64_t resume = archive.Position();
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
