// A ZipAbstractFile on a growable memory block, used for archives kept in
// memory (the in-memory compression-gain check).
#pragma once

#include "zip/ZipAbstractFile.h"

class ZipMemFile : public ZipAbstractFile {
 public:
  explicit ZipMemFile(uint32_t growBy = 1024) : growBy_(growBy) {}
  ~ZipMemFile() override;
  ZipMemFile(const ZipMemFile&) = delete;
  ZipMemFile& operator=(const ZipMemFile&) = delete;

  void Close() override;
  void Flush() override {}
  uint64_t Position() override { return position_; }
  uint64_t Seek(int64_t offset, int origin) override;
  uint64_t Length() override { return size_; }
  void SetLength(uint64_t length) override;
  std::string Path() const override { return ""; }
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  bool IsClosed() const override { return data_ == nullptr; }

  const char* Data() const { return data_; }

 private:
  // Makes room for at least `needed` bytes, in whole steps of growBy_.
  void Reserve(uint64_t needed);

  uint32_t growBy_;
  uint64_t position_ = 0;
  uint64_t capacity_ = 0;
  uint64_t size_ = 0;
  char* data_ = nullptr;
};
