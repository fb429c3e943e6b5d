#include "zip/ZipCompressor.h"

#include <cstdlib>
#include <cstring>

#include "zip/ZipDeflateStream.h"
#include "zip/ZipException.h"
#include "zip/ZipStorage.h"

ZipCompressor::ZipCompressor(ZipStorage& storage) : storage_(storage) {}

ZipCompressor::~ZipCompressor() { Discard(); }

voidpf ZipCompressor::Allocate(voidpf opaque, uInt items, uInt size) {
  auto* self = static_cast<ZipCompressor*>(opaque);
  if (size != 0 && items > SIZE_MAX / size) return Z_NULL;
  void* block = std::malloc(static_cast<size_t>(items) * size);
  if (block == nullptr) return Z_NULL;
  try {
    self->allocations_.insert(block);
  } catch (...) {
    std::free(block);
    return Z_NULL;
  }
  return block;
}

void ZipCompressor::Free(voidpf opaque, voidpf address) {
  auto* self = static_cast<ZipCompressor*>(opaque);
  if (self->allocations_.erase(address) != 0) std::free(address);
}

void ZipCompressor::Begin(int method, int level, uint64_t sizeHint) {
  if (active_) Discard();
  buffer_.Allocate(kBufferSize);
  bytesInBuffer_ = 0;
  method_ = method;
  crc_ = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
  bytesIn_ = 0;
  bytesOut_ = 0;
  inParallel_ = method_ == 8 && sizeHint >= 2 * ZipParallelDeflater::kBlockSize &&
                ZipParallelDeflater::Workers() > 1;
  if (inParallel_) {
    if (parallel_ == nullptr) {
      parallel_ = std::make_unique<ZipParallelDeflater>(
          [this](const char* data, size_t count) {
            storage_.Write(data, count);
            bytesOut_ += count;
          },
          [this](int result) { ThrowZlib(result); });
    }
    parallel_->Begin(level);
  } else if (method_ == 8) {
    OpenStream(level);
  }
  active_ = true;
}

void ZipCompressor::OpenStream(int level) {
  if (streamOpen_ && streamLevel_ == level && deflateReset(&stream_) == Z_OK) return;
  CloseStream();
  stream_ = z_stream{};
  stream_.zalloc = &ZipCompressor::Allocate;
  stream_.zfree = &ZipCompressor::Free;
  stream_.opaque = this;
  int result = deflateInit2(&stream_, level, Z_DEFLATED, ZipDeflateStream::kWindowBits,
                            ZipDeflateStream::kMemoryLevel, Z_DEFAULT_STRATEGY);
  if (result != Z_OK) {
    FreeAllocations();
    ThrowZlib(result);
  }
  streamOpen_ = true;
  streamLevel_ = level;
}

void ZipCompressor::Write(const void* data, size_t count) {
  if (count == 0) return;
  crc_ = static_cast<uint32_t>(crc32(crc_, static_cast<const Bytef*>(data), static_cast<uInt>(count)));
  bytesIn_ += count;
  if (inParallel_) {
    parallel_->Write(static_cast<const char*>(data), count);
    return;
  }
  if (method_ == 8) {
    stream_.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(data));
    stream_.avail_in = static_cast<uInt>(count);
    while (stream_.avail_in > 0) {
      if (bytesInBuffer_ == buffer_.Size()) WriteOutput();
      Deflate(Z_NO_FLUSH);
    }
    return;
  }
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
    if (bytesInBuffer_ == buffer_.Size()) WriteOutput();
    size_t n = buffer_.Size() - bytesInBuffer_;
    if (n > count) n = count;
    std::memcpy(buffer_.Data() + bytesInBuffer_, bytes, n);
    bytesInBuffer_ += n;
    bytes += n;
    count -= n;
  }
}

void ZipCompressor::Deflate(int flush) {
  stream_.next_out = reinterpret_cast<Bytef*>(buffer_.Data() + bytesInBuffer_);
  stream_.avail_out = static_cast<uInt>(buffer_.Size() - bytesInBuffer_);
  int result = deflate(&stream_, flush);
  bytesInBuffer_ = buffer_.Size() - stream_.avail_out;
  bool finished = flush == Z_FINISH && result == Z_STREAM_END;
  if (result != Z_OK && result != Z_BUF_ERROR && !finished) ThrowZlib(result);
}

void ZipCompressor::Finish() {
  if (inParallel_) {
    parallel_->Finish();
  } else if (method_ == 8) {
    stream_.next_in = Z_NULL;
    stream_.avail_in = 0;
    for (;;) {
      if (bytesInBuffer_ == buffer_.Size()) WriteOutput();
      stream_.next_out = reinterpret_cast<Bytef*>(buffer_.Data() + bytesInBuffer_);
      stream_.avail_out = static_cast<uInt>(buffer_.Size() - bytesInBuffer_);
      int result = deflate(&stream_, Z_FINISH);
      bytesInBuffer_ = buffer_.Size() - stream_.avail_out;
      if (result == Z_STREAM_END) break;
      if (result != Z_OK && result != Z_BUF_ERROR) ThrowZlib(result);
    }
  }
  WriteOutput();
  active_ = false;
}

void ZipCompressor::WriteOutput() {
  if (bytesInBuffer_ == 0) return;
  storage_.Write(buffer_.Data(), bytesInBuffer_);
  bytesOut_ += bytesInBuffer_;
  bytesInBuffer_ = 0;
}

void ZipCompressor::Discard() {
  if (parallel_ != nullptr) parallel_->Discard();
  inParallel_ = false;
  CloseStream();
  buffer_.Release();
  bytesInBuffer_ = 0;
  active_ = false;
}

void ZipCompressor::CloseStream() {
  if (streamOpen_) {
    deflateEnd(&stream_);
    streamOpen_ = false;
  }
  FreeAllocations();
}

void ZipCompressor::FreeAllocations() {
  for (void* block : allocations_) std::free(block);
  allocations_.clear();
}

void ZipCompressor::ThrowZlib(int result) const {
  throw ZipException(ZipException::CodeOfZlibResult(result), storage_.ArchivePath());
}
