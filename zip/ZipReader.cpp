#include "zip/ZipReader.h"

#include <zlib.h>

#include <algorithm>

#include "zip/ZipAttributes.h"
#include "zip/ZipCentralDir.h"
#include "zip/ZipException.h"
#include "zip/ZipLittleEndian.h"
#include "zip/ZipStorage.h"

namespace {

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kExtendedTimestampId = 0x5455;
// The smallest data descriptor: CRC-32 and two 4-byte sizes, no signature.
constexpr uint64_t kSmallestDescriptor = 12;

// An inflate stream that is always ended.
class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

std::string ZipReadStatusText(ZipReadStatus status, const ZipFileHeader& entry) {
  switch (status) {
    case ZipReadStatus::Ok: return "sound";
    case ZipReadStatus::Encrypted: return "encrypted entries are not supported";
    case ZipReadStatus::UnsupportedMethod:
      return "unsupported compression method " + std::to_string(entry.method);
    case ZipReadStatus::Overlapping: return "its data overlaps another entry";
    case ZipReadStatus::BadLocalHeader: return "its local header is damaged";
    case ZipReadStatus::Truncated: return "the archive ends inside its data";
    case ZipReadStatus::BadData: return "its compressed data is damaged";
    case ZipReadStatus::SizeMismatch: return "its size does not match the recorded size";
    case ZipReadStatus::CrcMismatch: return "CRC-32 mismatch";
    case ZipReadStatus::ReadError: return "the archive could not be read";
    case ZipReadStatus::Cancelled: return "cancelled";
  }
  return "unknown problem";
}

ZipReader::ZipReader() = default;

ZipReader::~ZipReader() { Close(); }

void ZipReader::Open(const std::string& path) {
  Close();
  storage_ = std::make_unique<ZipStorage>();
  storage_->Open(path, ZipOpenMode::OpenReadOnly);
  ReadCentralDirectory();
}

void ZipReader::Open(ZipMemFile* memoryFile) {
  Close();
  storage_ = std::make_unique<ZipStorage>();
  storage_->Open(memoryFile, ZipOpenMode::OpenReadOnly);
  ReadCentralDirectory();
}

void ZipReader::OpenSharing(const std::string& path, const ZipReader& source) {
  Close();
  storage_ = std::make_unique<ZipStorage>();
  storage_->Open(path, ZipOpenMode::OpenReadOnly);
  directory_ = source.directory_;
}

void ZipReader::ReadCentralDirectory() {
  centralDir_ = std::make_unique<ZipCentralDir>(*storage_);
  directory_ = centralDir_.get();
  try {
    centralDir_->Read();
  } catch (...) {
    Close();
    throw;
  }
}

void ZipReader::Close() {
  directory_ = nullptr;
  centralDir_.reset();
  if (storage_ && storage_->IsOpen()) storage_->Close(true);
  storage_.reset();
}

int ZipReader::Count() const { return directory_ != nullptr ? directory_->Count() : 0; }

ZipFileHeader ZipReader::Entry(int index) const { return directory_->Entry(index); }

std::string ZipReader::Name(int index) const {
  const ZipFileHeader entry = Entry(index);
  std::string name = entry.SystemName();
  // Names made on MS-DOS and Windows may use '\' as separator.
  if (entry.System() != ZipSystemUnix) std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

int64_t ZipReader::ModificationTime(int index) const {
  const ZipFileHeader entry = Entry(index);
  const std::string_view extra = entry.ExtraField();
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint64_t id = zip_le::Read(extra, at, 2);
    const size_t size = static_cast<size_t>(zip_le::Read(extra, at + 2, 2));
    if (at + 4 + size > extra.size()) break;
    if (id == kExtendedTimestampId && size >= 5 && (extra[at + 4] & 1) != 0) {
      return static_cast<int32_t>(zip_le::Read(extra, at + 5, 4));
    }
    at += 4 + size;
  }
  return entry.GetTime();
}

uint32_t ZipReader::UnixMode(int index) const {
  const ZipFileHeader entry = Entry(index);
  return entry.System() == ZipSystemUnix ? (entry.externalAttributes >> 16) & 07777 : 0;
}

bool ZipReader::IsDirectory(int index) const {
  const ZipFileHeader entry = Entry(index);
  return entry.NameEndsWithSeparator() || entry.IsDirectory();
}

ZipReadResult ZipReader::Extract(int index, const Sink& sink) {
  try {
    return ExtractChecked(index, sink);
  } catch (const ZipException& e) {
    ZipReadResult result;
    result.status = e.code == ZipException::BadArchive ? ZipReadStatus::Truncated
                                                       : ZipReadStatus::ReadError;
    return result;
  }
}

ZipReadStatus ZipReader::SeekToData(int index, ZipFileHeader& entry) {
  if ((entry.flags & ZipFileHeader::kFlagEncrypted) != 0) return ZipReadStatus::Encrypted;
  if (entry.method != kStored && entry.method != kDeflated) {
    return ZipReadStatus::UnsupportedMethod;
  }
  if (entry.method == kStored && entry.compressedSize != entry.uncompressedSize) {
    return ZipReadStatus::SizeMismatch;
  }
  storage_->SeekTo(entry.localHeaderOffset + directory_->BytesBeforeArchive());
  if (!entry.CheckLocalHeader(*storage_)) return ZipReadStatus::BadLocalHeader;
  // The data must end before the next entry's local header (or the central
  // directory): entries that share bytes are how decompression bombs and
  // damaged directories look.
  const uint64_t dataStart = entry.localHeaderOffset + entry.LocalHeaderSize(true);
  const uint64_t roomEnd = directory_->EntryRoomEnd(index);
  const uint64_t descriptor =
      (entry.flags & ZipFileHeader::kFlagDescriptor) != 0 ? kSmallestDescriptor : 0;
  if (dataStart > roomEnd || roomEnd - dataStart < entry.compressedSize + descriptor) {
    return ZipReadStatus::Overlapping;
  }
  storage_->SeekTo(dataStart + directory_->BytesBeforeArchive());
  return ZipReadStatus::Ok;
}

ZipReadResult ZipReader::ExtractChecked(int index, const Sink& sink) {
  ZipReadResult result;
  const auto fail = [&result](ZipReadStatus status) {
    result.status = status;
    return result;
  };
  ZipFileHeader entry = directory_->Entry(index);
  const ZipReadStatus located = SeekToData(index, entry);
  if (located != ZipReadStatus::Ok) return fail(located);
  if (!input_) {
    input_.reset(new char[kBufferSize]);
    output_.reset(new char[kBufferSize]);
  }
  Inflater inflater;
  if (entry.method == kDeflated && !inflater.ok()) return fail(ZipReadStatus::ReadError);
  z_stream& stream = inflater.stream();
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t remaining = entry.compressedSize;
  bool streamEnded = entry.method == kStored;
  const auto deliver = [&](const char* data, size_t size) {
    if (size == 0) return true;
    if (result.bytes + size > entry.uncompressedSize) return false;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    result.bytes += size;
    return true;
  };
  while (remaining > 0) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kBufferSize));
    storage_->ReadExact(input_.get(), chunk);
    remaining -= chunk;
    if (entry.method == kStored) {
      if (!deliver(input_.get(), chunk)) return fail(ZipReadStatus::SizeMismatch);
      if (!sink(input_.get(), chunk)) return fail(ZipReadStatus::Cancelled);
      continue;
    }
    if (streamEnded) return fail(ZipReadStatus::BadData);  // bytes after the end of the stream
    stream.next_in = reinterpret_cast<Bytef*>(input_.get());
    stream.avail_in = static_cast<uInt>(chunk);
    while (stream.avail_in > 0 && !streamEnded) {
      stream.next_out = reinterpret_cast<Bytef*>(output_.get());
      stream.avail_out = static_cast<uInt>(kBufferSize);
      const int status = inflate(&stream, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        streamEnded = true;
      } else if (status != Z_OK && status != Z_BUF_ERROR) {
        return fail(ZipReadStatus::BadData);
      }
      const size_t produced = kBufferSize - stream.avail_out;
      if (!deliver(output_.get(), produced)) return fail(ZipReadStatus::SizeMismatch);
      if (produced > 0 && !sink(output_.get(), produced)) return fail(ZipReadStatus::Cancelled);
      if (status == Z_BUF_ERROR && produced == 0) break;
    }
    if (streamEnded && (stream.avail_in > 0 || remaining > 0)) return fail(ZipReadStatus::BadData);
  }
  // The stream may still hold output once all input is in.
  while (!streamEnded) {
    stream.next_out = reinterpret_cast<Bytef*>(output_.get());
    stream.avail_out = static_cast<uInt>(kBufferSize);
    const int status = inflate(&stream, Z_FINISH);
    const size_t produced = kBufferSize - stream.avail_out;
    if (!deliver(output_.get(), produced)) return fail(ZipReadStatus::SizeMismatch);
    if (produced > 0 && !sink(output_.get(), produced)) return fail(ZipReadStatus::Cancelled);
    if (status == Z_STREAM_END) break;
    if (produced == 0) return fail(ZipReadStatus::BadData);
  }
  if (result.bytes != entry.uncompressedSize) return fail(ZipReadStatus::SizeMismatch);
  if (static_cast<uint32_t>(crc) != entry.crc32) return fail(ZipReadStatus::CrcMismatch);
  return result;
}
