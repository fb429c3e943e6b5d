// Deflates one large entry on several threads. The input is cut into blocks;
// each block is compressed on its own with the 32 KiB before it as its
// dictionary and ends on a byte boundary (a sync flush), so the blocks' output
// joined in order is one raw deflate stream, as if made in one piece. Blocks
// are handed out as they fill and their output is collected in order.
//
// The worker threads and every block's buffers live as long as the deflater
// and serve entry after entry: a thread and fresh buffers per block cost the
// run page faults, and their unmapping stalled the other threads' faults.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ZipDeflateStream;

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
  // One block on its way: filled by the writer, compressed by a worker.
  struct Block {
    std::string input;
    std::string dictionary;  // the 32 KiB of input before it
    std::string output;
    int level = 0;
    bool last = false;
    bool done = false;
    int error = 0;  // a zlib result other than success
  };

  void StartWorkers();
  void Work();
  // Compresses `block` with `*stream` (see ZipDeflateStream::Prepare).
  static void Compress(Block& block, std::unique_ptr<ZipDeflateStream>* stream);
  Block& Filling() { return blocks_[submitted_ % blocks_.size()]; }
  void Submit(bool last);
  void WriteOldest();

  std::function<void(const char*, size_t)> sink_;
  std::function<void(int)> throwZlib_;
  int level_ = -1;
  std::string dictionary_;  // for the block being filled
  // A ring of Workers() + 2 blocks, so that one waits queued while each
  // worker has one; counts since the last Discard: blocks submitted, taken by
  // a worker and written out. Block n is blocks_[n % size].
  std::vector<Block> blocks_;
  uint64_t submitted_ = 0;
  uint64_t taken_ = 0;
  uint64_t written_ = 0;
  unsigned compressing_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable submittedOrStopping_;
  std::condition_variable blockDone_;
  std::vector<std::thread> workers_;
};
