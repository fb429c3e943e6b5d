// Everything an archive records about one entry, and its two on-disk forms:
// the local file header before the entry's data and the central directory
// file header. Integers are little-endian on disk.
//
// Names: Name() holds the bytes as stored in the archive, as the file
// system gave them. A name that is valid UTF-8 and not plain ASCII gets
// general-purpose flag bit 11; other bytes are stored without it, so every
// reader opens the archive. SystemName() gives the form used for look-ups: a
// name without bit 11 from an entry made on MS-DOS or Windows is code page 437
// and is converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zip/ZipEntryTexts.h"

class ZipStorage;

class ZipFileHeader {
 public:
  static constexpr uint32_t kLocalSignature = 0x04034b50;
  static constexpr uint32_t kCentralSignature = 0x02014b50;
  static constexpr uint32_t kDescriptorSignature = 0x08074b50;
  static constexpr size_t kLocalFixedSize = 30;
  static constexpr size_t kCentralFixedSize = 46;
  static constexpr uint16_t kFlagEncrypted = 0x0001;
  static constexpr uint16_t kFlagDescriptor = 0x0008;
  static constexpr uint16_t kFlagUtf8 = 0x0800;
  static constexpr uint32_t kMaxFieldLength = 65535;

  // Stores `name` ('/' separators) with flag bit 11 when it is UTF-8 and
  // not ASCII.
  void SetFileName(const std::string& name);
  static bool NeedsUtf8Flag(std::string_view name);
  // The name bytes as stored in the archive.
  std::string_view Name() const { return texts_.Name(); }
  // The extra field, without a ZIP64 field (which is made when written).
  std::string_view ExtraField() const { return texts_.Extra(); }
  void SetExtraField(std::string_view extra) { texts_.Set(Name(), extra, Comment()); }
  std::string_view Comment() const { return texts_.Comment(); }
  // The name as UTF-8.
  std::string SystemName() const;
  bool NameEndsWithSeparator() const;

  // Sets the DOS date and time from seconds since the epoch, in local time.
  // Times before 1980 become 1980-01-01 00:00:00, times after 2107 the last
  // representable second.
  void SetTime(int64_t seconds);
  // The DOS date and time back as seconds since the epoch (local time).
  int64_t GetTime() const;

  // Stores platform attributes in the form of the entry's system (the high
  // byte of versionMadeBy); GetAttributes gives them back in platform form.
  void SetAttributes(uint32_t attributes);
  uint32_t GetAttributes() const;
  bool IsDirectory() const;
  int System() const { return versionMadeBy >> 8; }
  void SetSystem(int system);

  // Fills the fixed fields of a new entry for the compression `level`. False
  // when the name is longer than 65535 bytes.
  bool PrepareForWrite(int level, bool encrypted);

  // Serialise through the storage's write buffer; return the bytes written.
  size_t WriteLocalHeader(ZipStorage& storage) const;
  size_t WriteCentralHeader(ZipStorage& storage) const;
  // The central header as written (`asWritten`), or as an entry list keeps
  // it: the same bytes with versionNeeded as it is, not raised for a ZIP64
  // field, so that parsing the record gives this header back.
  std::string CentralHeader(bool asWritten) const;
  // crc32, compressedSize and uncompressedSize as three little-endian u32,
  // the sizes as 0xFFFFFFFF when the local header has a ZIP64 field.
  void WriteLocalCrcAndSizes(unsigned char* buffer) const;

  // Parses a central header at `data` (`available` bytes); sets `*consumed`.
  // False when the record is cut off or its signature is wrong.
  bool ParseCentralHeader(const unsigned char* data, size_t available, size_t* consumed);
  // Reads the local header and name at the storage's position and checks them
  // against this (central) header: signature, method, name, and unless bit 3
  // is set CRC and sizes. Records the local name and extra lengths.
  bool CheckLocalHeader(ZipStorage& storage);

  uint64_t LocalHeaderSize(bool asRead) const;

  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;  // relative to the start of the archive
  uint32_t crc32 = 0;
  uint32_t externalAttributes = 0;
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 8;
  uint16_t modTime = 0;
  uint16_t modDate = 0;
  uint16_t diskStart = 0;
  uint16_t internalAttributes = 0;
  uint16_t localNameLength = 0;
  uint16_t localExtraLength = 0;
  // The local header carries a ZIP64 field with both sizes: chosen before the
  // data is written, for an entry that may reach 4 GiB.
  bool zip64Local = false;

 private:
  ZipEntryTexts texts_;
};
