// Reading and writing the little-endian integers of ZIP records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zip_le {

// The `width`-byte little-endian value at `p`.
inline uint64_t Get(const unsigned char* p, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// Writes the low `width` bytes of `value` at `p`, least significant first.
inline void Put(unsigned char* p, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(Get(p, 2)); }
inline uint32_t Get32(const unsigned char* p) { return static_cast<uint32_t>(Get(p, 4)); }
inline uint64_t Get64(const unsigned char* p) { return Get(p, 8); }
inline void Put16(unsigned char* p, uint64_t value) { Put(p, value, 2); }
inline void Put32(unsigned char* p, uint64_t value) { Put(p, value, 4); }
inline void Put64(unsigned char* p, uint64_t value) { Put(p, value, 8); }

// Appends the low `width` bytes of `value` to `bytes`, least significant first.
inline void Append(std::string* bytes, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes->push_back(static_cast<char>(value >> (8 * i)));
}

// The `width`-byte little-endian value at offset `at` of `bytes`.
inline uint64_t Read(std::string_view bytes, size_t at, int width) {
  return Get(reinterpret_cast<const unsigned char*>(bytes.data()) + at, width);
}

}  // namespace zip_le
