// The variable-length parts of an entry's header (its name, extra field and
// comment) in one block of memory: headers are decoded for every look-at of
// an entry, and three strings would cost three allocations each time.
// The extra field and the comment come from an archive's 16-bit length fields
// and are never longer than 65535 bytes; a name may be, until the writer
// refuses it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

class ZipEntryTexts {
 public:
  ZipEntryTexts() = default;
  ZipEntryTexts(const ZipEntryTexts& other) { *this = other; }
  ZipEntryTexts& operator=(const ZipEntryTexts& other);
  // A moved-from object is left empty.
  ZipEntryTexts(ZipEntryTexts&& other) noexcept { *this = std::move(other); }
  ZipEntryTexts& operator=(ZipEntryTexts&& other) noexcept;

  std::string_view Name() const { return {block_.get(), nameLength_}; }
  std::string_view Extra() const { return {block_.get() + nameLength_, extraLength_}; }
  std::string_view Comment() const {
    return {block_.get() + nameLength_ + extraLength_, commentLength_};
  }

  // Replaces all three; the views may point into this object's own block.
  // Throws std::length_error for an extra field or comment over 65535 bytes.
  void Set(std::string_view name, std::string_view extra, std::string_view comment);

 private:
  std::unique_ptr<char[]> block_;
  uint32_t nameLength_ = 0;
  uint16_t extraLength_ = 0;
  uint16_t commentLength_ = 0;
};
