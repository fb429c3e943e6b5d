// An owned block of bytes, used for the writer's I/O buffers.
#pragma once

#include <cstddef>
#include <memory>

class ZipAutoBuffer {
 public:
  ZipAutoBuffer() = default;
  explicit ZipAutoBuffer(size_t size, bool zeroFill = false) { Allocate(size, zeroFill); }
  ZipAutoBuffer(const ZipAutoBuffer& other);
  ZipAutoBuffer& operator=(const ZipAutoBuffer& other);
  ZipAutoBuffer(ZipAutoBuffer&&) noexcept = default;
  ZipAutoBuffer& operator=(ZipAutoBuffer&&) noexcept = default;

  // Makes the block `size` bytes long. A block of the same size is kept (and
  // zeroed if asked); size 0 leaves no block.
  void Allocate(size_t size, bool zeroFill = false);
  void Release();

  char* Data() { return data_.get(); }
  const char* Data() const { return data_.get(); }
  size_t Size() const { return size_; }
  bool IsEmpty() const { return size_ == 0; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
};
