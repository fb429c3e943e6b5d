// The ZIP64 extended information extra field (header ID 0x0001): the 64-bit
// sizes, offset and disk of an entry whose values do not fit the 32-bit (or
// 16-bit) fields of its headers, which then hold 0xFFFFFFFF (0xFFFF).
//
// In a local header the field holds both sizes, always; in a central header
// only the values that do not fit, in the order uncompressed size, compressed
// size, local header offset, disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Zip64ExtraField {
  static constexpr uint16_t kId = 0x0001;
  static constexpr uint32_t kMax32 = 0xFFFFFFFFu;
  static constexpr uint16_t kMax16 = 0xFFFF;
  // Version needed to extract an entry with ZIP64 fields (4.5).
  static constexpr uint16_t kVersionNeeded = 45;
  // Size of the field in a local header, with its 4-byte header.
  static constexpr size_t kLocalSize = 20;

  // A value the 32-bit field cannot hold.
  static bool Overflows(uint64_t value) { return value >= kMax32; }

  // The field of a local header, both sizes.
  static std::string ForLocal(uint64_t uncompressedSize, uint64_t compressedSize);
  // The field of a central header: only the values that overflow; empty when
  // none does.
  static std::string ForCentral(uint64_t uncompressedSize, uint64_t compressedSize,
                                uint64_t localHeaderOffset);

  // Takes the ZIP64 field out of `extraField` (an entry's extra field as read)
  // and puts its values into those of the 32-bit and 16-bit fields that hold
  // their maximum. False when the field is shorter than the values it must
  // hold.
  static bool Extract(std::string* extraField, uint64_t* uncompressedSize,
                      uint64_t* compressedSize, uint64_t* localHeaderOffset, uint16_t* diskStart);
};
