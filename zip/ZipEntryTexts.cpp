#include "zip/ZipEntryTexts.h"

#include <cstring>
#include <stdexcept>
#include <utility>

ZipEntryTexts& ZipEntryTexts::operator=(const ZipEntryTexts& other) {
  if (this != &other) Set(other.Name(), other.Extra(), other.Comment());
  return *this;
}

ZipEntryTexts& ZipEntryTexts::operator=(ZipEntryTexts&& other) noexcept {
  if (this == &other) return *this;
  block_ = std::move(other.block_);
  nameLength_ = std::exchange(other.nameLength_, 0);
  extraLength_ = std::exchange(other.extraLength_, 0);
  commentLength_ = std::exchange(other.commentLength_, 0);
  return *this;
}

void ZipEntryTexts::Set(std::string_view name, std::string_view extra, std::string_view comment) {
  if (extra.size() > UINT16_MAX || comment.size() > UINT16_MAX) {
    throw std::length_error("extra field or comment over 65535 bytes");
  }
  const size_t total = name.size() + extra.size() + comment.size();
  std::unique_ptr<char[]> block(total == 0 ? nullptr : new char[total]);
  char* at = block.get();
  for (const std::string_view part : {name, extra, comment}) {
    if (!part.empty()) std::memcpy(at, part.data(), part.size());
    at += part.size();
  }
  block_ = std::move(block);
  nameLength_ = static_cast<uint32_t>(name.size());
  extraLength_ = static_cast<uint16_t>(extra.size());
  commentLength_ = static_cast<uint16_t>(comment.size());
}
