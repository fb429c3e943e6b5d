// A raw deflate stream (no zlib header, 32 KiB window, zlib's default memory
// level) that is always ended, also when compression fails half-way. Every
// deflating part of the writer uses these settings, so they all give the
// same bytes for the same input.
#pragma once

#include <memory>
#include <string>

#include <zlib.h>

class ZipDeflateStream {
 public:
  static constexpr int kWindowBits = -15;
  static constexpr int kMemoryLevel = 8;

  explicit ZipDeflateStream(int level) : level_(level) {
    result_ = deflateInit2(&stream_, level, Z_DEFLATED, kWindowBits, kMemoryLevel,
                           Z_DEFAULT_STRATEGY);
  }
  ~ZipDeflateStream() {
    if (result_ == Z_OK) deflateEnd(&stream_);
  }
  ZipDeflateStream(const ZipDeflateStream&) = delete;
  ZipDeflateStream& operator=(const ZipDeflateStream&) = delete;

  int InitResult() const { return result_; }

  // Readies `*stream` for a new stream at `level`: kept and reset when its
  // level fits, made anew otherwise. Z_OK, or the zlib result that stopped
  // it (`*stream` is then empty).
  static int Prepare(std::unique_ptr<ZipDeflateStream>* stream, int level);

  // Deflates all of `input` in one call into `*output`, sized to fit, ending
  // with `flush`: Z_FINISH for the end of the stream, Z_SYNC_FLUSH for a
  // block that more blocks follow. Z_OK, or the zlib result that stopped it.
  int DeflateAll(const std::string& input, int flush, std::string* output);

  int Level() const { return level_; }
  z_stream* operator->() { return &stream_; }
  z_stream* Get() { return &stream_; }

 private:
  z_stream stream_{};
  int level_;
  int result_;
};
