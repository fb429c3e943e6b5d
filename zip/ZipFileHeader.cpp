#include "zip/ZipFileHeader.h"

#include <algorithm>
#include <ctime>

#include "zip/Cp437.h"
#include "zip/Zip64ExtraField.h"
#include "zip/ZipAttributes.h"
#include "zip/ZipLittleEndian.h"
#include "zip/ZipStorage.h"

namespace {

using zip_le::Get16;
using zip_le::Get32;
using zip_le::Put16;
using zip_le::Put32;

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p++;
    if (c < 0x80) continue;
    int more = 0;
    uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (end - p < more) return false;
    for (int i = 0; i < more; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      code = (code << 6) | (*p & 0x3F);
    }
    if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (more == 3 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
  }
  return true;
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

const int kFirstDosYear = 1980;
const int kLastDosYear = 1980 + 127;

}  // namespace

void ZipFileHeader::SetFileName(const std::string& name) {
  texts_.Set(name, ExtraField(), Comment());
  if (NeedsUtf8Flag(name)) {
    flags |= kFlagUtf8;
  } else {
    flags &= static_cast<uint16_t>(~kFlagUtf8);
  }
}

bool ZipFileHeader::NeedsUtf8Flag(std::string_view name) {
  return !IsAscii(name) && IsValidUtf8(name);
}

// A name without the UTF-8 flag is code page 437 when it was made on MS-DOS
// or Windows; one made on Unix holds the file system's own bytes.
std::string ZipFileHeader::SystemName() const {
  const std::string name(Name());
  if ((flags & kFlagUtf8) != 0 || IsAscii(name) || System() == ZipSystemUnix) return name;
  return Cp437ToUtf8(name);
}

bool ZipFileHeader::NameEndsWithSeparator() const {
  const std::string_view name = Name();
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

void ZipFileHeader::SetTime(int64_t seconds) {
  std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) local = std::tm{};
  int year = local.tm_year + 1900;
  if (year < kFirstDosYear) {
    local = std::tm{};
    local.tm_year = kFirstDosYear - 1900;
    local.tm_mday = 1;
    year = kFirstDosYear;
  } else if (year > kLastDosYear) {
    local = std::tm{};
    local.tm_mon = 11;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    year = kLastDosYear;
  }
  modDate = static_cast<uint16_t>((((year - kFirstDosYear) << 4) + local.tm_mon + 1) << 5 |
                                  local.tm_mday);
  modTime = static_cast<uint16_t>(((local.tm_hour << 6) + local.tm_min) << 5 | local.tm_sec / 2);
}

int64_t ZipFileHeader::GetTime() const {
  std::tm local{};
  local.tm_sec = (modTime & 0x1F) * 2;
  local.tm_min = (modTime >> 5) & 0x3F;
  local.tm_hour = modTime >> 11;
  local.tm_mday = modDate & 0x1F;
  local.tm_mon = ((modDate >> 5) & 0x0F) - 1;
  local.tm_year = modDate / 512 + kFirstDosYear - 1900;
  // The fields read as UTC, less the local offset at that moment (looked up a
  // second time when the first guess crosses a change of offset). Unlike
  // mktime, neither call reloads the time zone file, which for an archive of
  // many entries cost more than the rest of reading its directory.
  const std::time_t asUtc = timegm(&local);
  std::tm seen{};
  if (localtime_r(&asUtc, &seen) == nullptr) return static_cast<int64_t>(asUtc);
  std::time_t time = asUtc - seen.tm_gmtoff;
  const long guessed = seen.tm_gmtoff;
  if (localtime_r(&time, &seen) != nullptr && seen.tm_gmtoff != guessed) {
    time = asUtc - seen.tm_gmtoff;
  }
  return static_cast<int64_t>(time);
}

void ZipFileHeader::SetAttributes(uint32_t attributes) {
  externalAttributes = ConvertAttributes(attributes, ZipSystemPlatform, System());
}

uint32_t ZipFileHeader::GetAttributes() const {
  if (!IsKnownSystem(System())) {
    return NameEndsWithSeparator() ? kDefaultDirectoryAttributes : kDefaultFileAttributes;
  }
  if (externalAttributes == 0 && NameEndsWithSeparator()) return kDefaultDirectoryAttributes;
  return ConvertAttributes(externalAttributes, System(), ZipSystemPlatform);
}

bool ZipFileHeader::IsDirectory() const { return (GetAttributes() & 0x10) != 0; }

void ZipFileHeader::SetSystem(int system) {
  versionMadeBy = static_cast<uint16_t>((versionMadeBy & 0xFF) | (system << 8));
}

bool ZipFileHeader::PrepareForWrite(int level, bool encrypted) {
  internalAttributes = 0;
  versionNeeded = IsDirectory() ? 10 : 20;
  if ((versionMadeBy & 0xFF) != 20) versionMadeBy = static_cast<uint16_t>((versionMadeBy & 0xFF00) | 20);
  crc32 = 0;
  compressedSize = 0;
  uncompressedSize = 0;
  if (level == 0) {
    method = 0;
  } else if (method != 0 && method != 8) {
    method = 8;
  }
  flags = 0;
  if (method == 8) {
    if (level == 1) flags = 6;
    else if (level == 2) flags = 4;
    else if (level == 8 || level == 9) flags = 2;
  }
  if (NeedsUtf8Flag(Name())) flags |= kFlagUtf8;
  if (encrypted) {
    flags |= kFlagEncrypted | kFlagDescriptor;
    compressedSize = 12;
  }
  return Name().size() <= kMaxFieldLength;  // the extra field and comment never are longer
}

size_t ZipFileHeader::WriteLocalHeader(ZipStorage& storage) const {
  std::string record(kLocalFixedSize, '\0');
  unsigned char* p = reinterpret_cast<unsigned char*>(&record[0]);
  const std::string extra =
      (zip64Local ? Zip64ExtraField::ForLocal(uncompressedSize, compressedSize) : "") +
      std::string(ExtraField());
  Put32(p, kLocalSignature);
  Put16(p + 4, zip64Local ? std::max(versionNeeded, Zip64ExtraField::kVersionNeeded) : versionNeeded);
  Put16(p + 6, flags);
  Put16(p + 8, method);
  Put16(p + 10, modTime);
  Put16(p + 12, modDate);
  WriteLocalCrcAndSizes(p + 14);
  Put16(p + 26, static_cast<uint32_t>(Name().size()));
  Put16(p + 28, static_cast<uint32_t>(extra.size()));
  record += Name();
  record += extra;
  storage.Write(record.data(), record.size());
  return record.size();
}

size_t ZipFileHeader::WriteCentralHeader(ZipStorage& storage) const {
  const std::string record = CentralHeader(true);
  storage.Write(record.data(), record.size());
  return record.size();
}

std::string ZipFileHeader::CentralHeader(bool asWritten) const {
  const std::string zip64 =
      Zip64ExtraField::ForCentral(uncompressedSize, compressedSize, localHeaderOffset);
  const uint16_t extraSize = static_cast<uint16_t>(zip64.size() + ExtraField().size());
  std::string record;
  record.reserve(kCentralFixedSize + Name().size() + zip64.size() + ExtraField().size() +
                 Comment().size());
  record.resize(kCentralFixedSize);
  unsigned char* p = reinterpret_cast<unsigned char*>(&record[0]);
  const bool usesZip64 = zip64Local || !zip64.empty();
  Put32(p, kCentralSignature);
  Put16(p + 4, versionMadeBy);
  Put16(p + 6, usesZip64 && asWritten ? std::max(versionNeeded, Zip64ExtraField::kVersionNeeded)
                                      : versionNeeded);
  Put16(p + 8, flags);
  Put16(p + 10, method);
  Put16(p + 12, modTime);
  Put16(p + 14, modDate);
  Put32(p + 16, crc32);
  Put32(p + 20, std::min<uint64_t>(compressedSize, Zip64ExtraField::kMax32));
  Put32(p + 24, std::min<uint64_t>(uncompressedSize, Zip64ExtraField::kMax32));
  Put16(p + 28, static_cast<uint32_t>(Name().size()));
  Put16(p + 30, extraSize);
  Put16(p + 32, static_cast<uint32_t>(Comment().size()));
  Put16(p + 34, diskStart);
  Put16(p + 36, internalAttributes);
  Put32(p + 38, externalAttributes);
  Put32(p + 42, std::min<uint64_t>(localHeaderOffset, Zip64ExtraField::kMax32));
  record += Name();
  record += zip64;
  record += ExtraField();
  record += Comment();
  return record;
}

void ZipFileHeader::WriteLocalCrcAndSizes(unsigned char* buffer) const {
  Put32(buffer, crc32);
  Put32(buffer + 4, zip64Local ? Zip64ExtraField::kMax32 : compressedSize);
  Put32(buffer + 8, zip64Local ? Zip64ExtraField::kMax32 : uncompressedSize);
}

bool ZipFileHeader::ParseCentralHeader(const unsigned char* data, size_t available,
                                       size_t* consumed) {
  if (available < kCentralFixedSize || Get32(data) != kCentralSignature) return false;
  size_t nameLength = Get16(data + 28);
  size_t extraLength = Get16(data + 30);
  size_t commentLength = Get16(data + 32);
  size_t total = kCentralFixedSize + nameLength + extraLength + commentLength;
  if (total > available) return false;
  versionMadeBy = Get16(data + 4);
  versionNeeded = Get16(data + 6);
  flags = Get16(data + 8);
  method = Get16(data + 10);
  modTime = Get16(data + 12);
  modDate = Get16(data + 14);
  crc32 = Get32(data + 16);
  compressedSize = Get32(data + 20);
  uncompressedSize = Get32(data + 24);
  diskStart = Get16(data + 34);
  internalAttributes = Get16(data + 36);
  externalAttributes = Get32(data + 38);
  localHeaderOffset = Get32(data + 42);
  const char* text = reinterpret_cast<const char*>(data + kCentralFixedSize);
  std::string extra(text + nameLength, extraLength);
  zip64Local = false;
  *consumed = total;
  const bool complete = Zip64ExtraField::Extract(&extra, &uncompressedSize, &compressedSize,
                                                 &localHeaderOffset, &diskStart);
  texts_.Set(std::string_view(text, nameLength), extra,
             std::string_view(text + nameLength + extraLength, commentLength));
  return complete;
}

bool ZipFileHeader::CheckLocalHeader(ZipStorage& storage) {
  unsigned char p[kLocalFixedSize];
  storage.ReadExact(p, sizeof p);
  if (Get32(p) != kLocalSignature) return false;
  uint16_t localFlags = Get16(p + 6);
  if ((localFlags & 0x0F) != (flags & 0x0F)) {
    flags = static_cast<uint16_t>((flags & ~0x0F) | (localFlags & 0x0F));
  }
  uint16_t localMethod = Get16(p + 8);
  if (localMethod != method || (method != 0 && method != 8)) return false;
  // A size of 0xFFFFFFFF stands for one in the ZIP64 extra field.
  const auto agrees = [](uint32_t local, uint64_t central) {
    return local == central || local == 0xFFFFFFFFu;
  };
  if ((flags & kFlagDescriptor) == 0 &&
      (Get32(p + 14) != crc32 || !agrees(Get32(p + 18), compressedSize) ||
       !agrees(Get32(p + 22), uncompressedSize))) {
    return false;
  }
  localNameLength = Get16(p + 26);
  localExtraLength = Get16(p + 28);
  if (localNameLength != Name().size()) return false;
  std::string name(localNameLength, '\0');
  if (localNameLength != 0) storage.ReadExact(&name[0], name.size());
  return name == Name();
}

uint64_t ZipFileHeader::LocalHeaderSize(bool asRead) const {
  if (asRead) return kLocalFixedSize + localNameLength + localExtraLength;
  return kLocalFixedSize + Name().size() + ExtraField().size() +
         (zip64Local ? Zip64ExtraField::kLocalSize : 0);
}
