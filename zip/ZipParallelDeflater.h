// Deflates one large entry on several threads. The input is cut into blocks;
// each block is compressed on its own with the 32 KiB before it as its
// dictionary and ends on a byte boundary (a sync flush), so the blocks' output
// joined in order is one raw deflate stream, as if made in one piece. Blocks
// are handed out as they fill and their output is collected in order, so the
// memory in use stays a few blocks whatever the entry's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <string>

class ZipParallelDeflater {
 public:
  static constexpr size_t kBlockSize = 256 * 1024;
  // `sink` receives the compressed bytes in order; `throwZlib` turns a zlib
  // result into the writer's exception.
  ZipParallelDeflater(std::function<void(const char*, size_t)> sink,
                      std::function<void(int)> throwZlib);
  ~ZipParallelDeflater();
  ZipParallelDeflater(const ZipParallelDeflater&) = delete;
  ZipParallelDeflater& operator=(const ZipParallelDeflater&) = delete;

  // How many blocks are compressed at once; 1 means parallel deflate is of no use here.
  static unsigned Workers();

  void Begin(int level);
  void Write(const char* data, size_t count);
  // Compresses the rest and passes all output on.
  void Finish();
  // Waits for running blocks and forgets everything.
  void Discard();

 private:
  struct Result {
    std::string output;
    int error = 0;  // a zlib result other than success
  };

  static Result Compress(int level, std::string input, std::string dictionary, bool last);
  void Submit(bool last);
  void WriteOldest();

  std::function<void(const char*, size_t)> sink_;
  std::function<void(int)> throwZlib_;
  int level_ = -1;
  std::string block_;
  std::string dictionary_;
  std::deque<std::future<Result>> running_;
};
