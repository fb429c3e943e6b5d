#include "zip/ZipMemFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "zip/ZipException.h"

ZipMemFile::~ZipMemFile() { Close(); }

void ZipMemFile::Close() {
  std::free(data_);
  data_ = nullptr;
  position_ = capacity_ = size_ = 0;
}

void ZipMemFile::Reserve(uint64_t needed) {
  if (needed <= capacity_) return;
  if (growBy_ == 0 || needed > SIZE_MAX) throw ZipException(ZipException::ZlibMemoryError, "");
  // Grow at least by half the current capacity so that appending stays linear.
  uint64_t wanted = needed > capacity_ + capacity_ / 2 ? needed : capacity_ + capacity_ / 2;
  uint64_t steps = (wanted + growBy_ - 1) / growBy_;
  uint64_t capacity = steps * growBy_;
  char* grown = static_cast<char*>(std::realloc(data_, static_cast<size_t>(capacity)));
  if (grown == nullptr) throw ZipException(ZipException::ZlibMemoryError, "");
  data_ = grown;
  capacity_ = capacity;
}

uint64_t ZipMemFile::Seek(int64_t offset, int origin) {
  int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(position_)
                                               : static_cast<int64_t>(size_);
  if (offset < -base) throw ZipException(EINVAL, "");
  position_ = static_cast<uint64_t>(base + offset);
  return position_;
}

void ZipMemFile::SetLength(uint64_t length) {
  Reserve(length);
  if (length > size_) std::memset(data_ + size_, 0, static_cast<size_t>(length - size_));
  size_ = length;
}

size_t ZipMemFile::Read(void* buffer, size_t count) {
  if (position_ >= size_) return 0;
  uint64_t available = size_ - position_;
  size_t n = count < available ? count : static_cast<size_t>(available);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

void ZipMemFile::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  uint64_t end = position_ + count;
  Reserve(end);
  if (position_ > size_) std::memset(data_ + size_, 0, static_cast<size_t>(position_ - size_));
  std::memcpy(data_ + position_, buffer, count);
  position_ = end;
  if (end > size_) size_ = end;
}
