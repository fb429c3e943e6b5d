#include "zip/Zip64ExtraField.h"
#include "zip/ZipLittleEndian.h"

namespace {

using zip_le::Append;
using zip_le::Read;

std::string Field(const std::string& data) {
  std::string field;
  Append(&field, Zip64ExtraField::kId, 2);
  Append(&field, data.size(), 2);
  return field + data;
}

}  // namespace

std::string Zip64ExtraField::ForLocal(uint64_t uncompressedSize, uint64_t compressedSize) {
  std::string data;
  Append(&data, uncompressedSize, 8);
  Append(&data, compressedSize, 8);
  return Field(data);
}

std::string Zip64ExtraField::ForCentral(uint64_t uncompressedSize, uint64_t compressedSize,
                                        uint64_t localHeaderOffset) {
  std::string data;
  for (uint64_t value : {uncompressedSize, compressedSize, localHeaderOffset}) {
    if (Overflows(value)) Append(&data, value, 8);
  }
  return data.empty() ? data : Field(data);
}

bool Zip64ExtraField::Extract(std::string* extraField, uint64_t* uncompressedSize,
                              uint64_t* compressedSize, uint64_t* localHeaderOffset,
                              uint16_t* diskStart) {
  std::string& extra = *extraField;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t id = static_cast<uint16_t>(Read(extra, at, 2));
    const size_t size = static_cast<size_t>(Read(extra, at + 2, 2));
    if (at + 4 + size > extra.size()) return true;  // a damaged tail is not ours to judge
    if (id != kId) {
      at += 4 + size;
      continue;
    }
    size_t next = at + 4;
    const size_t end = next + size;
    for (uint64_t* value : {uncompressedSize, compressedSize, localHeaderOffset}) {
      if (*value != kMax32) continue;
      if (next + 8 > end) return false;
      *value = Read(extra, next, 8);
      next += 8;
    }
    if (*diskStart == kMax16) {
      if (next + 4 > end) return false;
      *diskStart = static_cast<uint16_t>(Read(extra, next, 4));
    }
    extra.erase(at, 4 + size);
    return true;
  }
  return true;
}
