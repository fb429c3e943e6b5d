// The data of the entry being written: CRC-32 of the input, deflate (raw
// stream, ZIP method 8) or plain copy (method 0), and a 64 KiB output buffer
// that goes to the archive's storage whenever it is full. zlib's memory comes
// from a tracked allocator, so an entry abandoned by an exception leaks nothing.
// The deflate state and the buffer are kept from one entry to the next (a
// reset is much cheaper than a new state for every small file) until Release.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_set>

#include <zlib.h>

#include "zip/ZipAutoBuffer.h"
#include "zip/ZipParallelDeflater.h"

class ZipStorage;

class ZipCompressor {
 public:
  static constexpr uint32_t kBufferSize = 65536;

  explicit ZipCompressor(ZipStorage& storage);
  ~ZipCompressor();
  ZipCompressor(const ZipCompressor&) = delete;
  ZipCompressor& operator=(const ZipCompressor&) = delete;

  // Starts an entry with `method` 0 or 8 at `level` (-1 default, 1..9).
  // `sizeHint` is the expected input size: a large entry is deflated on
  // several threads.
  void Begin(int method, int level, uint64_t sizeHint = 0);
  // Adds entry data.
  void Write(const void* data, size_t count);
  // Flushes the compressor and writes the remaining output.
  void Finish();
  // Forgets the entry without writing anything more; frees everything.
  void Discard();
  // Frees the state kept between entries (no entry may be active).
  void Release() { Discard(); }

  bool Active() const { return active_; }
  uint32_t Crc() const { return crc_; }
  uint64_t BytesIn() const { return bytesIn_; }
  uint64_t BytesOut() const { return bytesOut_; }
  // The output buffer, usable as a scratch buffer while no entry is active.
  ZipAutoBuffer& Buffer() { return buffer_; }

  // Blocks of zlib memory currently allocated (for tests).
  size_t LiveAllocations() const { return allocations_.size(); }

 private:
  static voidpf Allocate(voidpf opaque, uInt items, uInt size);
  static void Free(voidpf opaque, voidpf address);

  // Starts a deflate stream at `level`, reusing the open one when it can.
  void OpenStream(int level);
  // Ends the deflate stream and frees whatever zlib still holds.
  void CloseStream();
  void WriteOutput();
  void Deflate(int flush);
  void ThrowZlib(int result) const;
  void FreeAllocations();

  ZipStorage& storage_;
  z_stream stream_{};
  ZipAutoBuffer buffer_;
  size_t bytesInBuffer_ = 0;
  std::unordered_set<void*> allocations_;
  std::unique_ptr<ZipParallelDeflater> parallel_;
  bool inParallel_ = false;
  int method_ = 0;
  int streamLevel_ = 0;
  bool active_ = false;
  bool streamOpen_ = false;
  uint32_t crc_ = 0;
  uint64_t bytesIn_ = 0;
  uint64_t bytesOut_ = 0;
};
