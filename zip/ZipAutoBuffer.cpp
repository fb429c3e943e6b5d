#include "zip/ZipAutoBuffer.h"

#include <cstring>

ZipAutoBuffer::ZipAutoBuffer(const ZipAutoBuffer& other) { *this = other; }

ZipAutoBuffer& ZipAutoBuffer::operator=(const ZipAutoBuffer& other) {
  if (this == &other) return *this;
  Allocate(other.size_);
  if (size_ != 0) std::memcpy(data_.get(), other.data_.get(), size_);
  return *this;
}

void ZipAutoBuffer::Allocate(size_t size, bool zeroFill) {
  if (size != size_) {
    Release();
    if (size == 0) return;
    data_.reset(new char[size]);
    size_ = size;
  }
  if (zeroFill && size_ != 0) std::memset(data_.get(), 0, size_);
}

void ZipAutoBuffer::Release() {
  data_.reset();
  size_ = 0;
}
