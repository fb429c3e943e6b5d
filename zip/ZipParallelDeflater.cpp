#include "zip/ZipParallelDeflater.h"

#include <algorithm>
#include <new>
#include <system_error>

#include <zlib.h>

#include "zip/ZipDeflateStream.h"

namespace {

constexpr size_t kDictionarySize = 32 * 1024;

}  // namespace

ZipParallelDeflater::ZipParallelDeflater(std::function<void(const char*, size_t)> sink,
                                         std::function<void(int)> throwZlib)
    : sink_(std::move(sink)), throwZlib_(std::move(throwZlib)), blocks_(Workers() + 2) {}

ZipParallelDeflater::~ZipParallelDeflater() {
  Discard();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  submittedOrStopping_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

unsigned ZipParallelDeflater::Workers() {
  static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return cores;
}

void ZipParallelDeflater::Begin(int level) {
  Discard();
  level_ = level;
  StartWorkers();
}

void ZipParallelDeflater::StartWorkers() {
  try {
    while (workers_.size() < Workers()) workers_.emplace_back(&ZipParallelDeflater::Work, this);
  } catch (const std::system_error&) {
    // Fewer threads than cores; with none at all the writer compresses each block.
  }
}

void ZipParallelDeflater::Write(const char* data, size_t count) {
  while (count > 0) {
    std::string& input = Filling().input;
    size_t n = std::min(count, kBlockSize - input.size());
    input.append(data, n);
    data += n;
    count -= n;
    if (input.size() == kBlockSize) Submit(false);
  }
}

void ZipParallelDeflater::Finish() {
  Submit(true);
  while (written_ < submitted_) WriteOldest();
  dictionary_.clear();
}

void ZipParallelDeflater::Discard() {
  std::unique_lock<std::mutex> lock(mutex_);
  taken_ = submitted_;  // blocks no worker has begun are dropped
  blockDone_.wait(lock, [this] { return compressing_ == 0; });
  submitted_ = taken_ = written_ = 0;
  for (Block& block : blocks_) {
    block.input.clear();
    block.done = false;
  }
  dictionary_.clear();
}

void ZipParallelDeflater::Submit(bool last) {
  Block& block = Filling();
  block.dictionary.assign(dictionary_);
  if (block.input.size() >= kDictionarySize) {
    dictionary_.assign(block.input, block.input.size() - kDictionarySize, kDictionarySize);
  } else {
    dictionary_.append(block.input);
    if (dictionary_.size() > kDictionarySize) dictionary_.erase(0, dictionary_.size() - kDictionarySize);
  }
  block.level = level_;
  block.last = last;
  if (workers_.empty()) {
    std::unique_ptr<ZipDeflateStream> stream;
    Compress(block, &stream);
    block.done = true;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++submitted_;
    if (workers_.empty()) taken_ = submitted_;
  }
  submittedOrStopping_.notify_one();
  if (submitted_ - written_ == blocks_.size()) WriteOldest();
}

void ZipParallelDeflater::WriteOldest() {
  Block& block = blocks_[written_ % blocks_.size()];
  {
    std::unique_lock<std::mutex> lock(mutex_);
    blockDone_.wait(lock, [&block] { return block.done; });
    block.done = false;
  }
  ++written_;
  block.input.clear();
  if (block.error != 0) throwZlib_(block.error);
  sink_(block.output.data(), block.output.size());
}

void ZipParallelDeflater::Work() {
  std::unique_ptr<ZipDeflateStream> stream;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    submittedOrStopping_.wait(lock, [this] { return stopping_ || taken_ < submitted_; });
    if (stopping_) return;
    Block& block = blocks_[taken_++ % blocks_.size()];
    ++compressing_;
    lock.unlock();
    Compress(block, &stream);
    lock.lock();
    block.done = true;
    --compressing_;
    blockDone_.notify_all();
  }
}

void ZipParallelDeflater::Compress(Block& block, std::unique_ptr<ZipDeflateStream>* stream) {
  try {
    block.error = ZipDeflateStream::Prepare(stream, block.level);
    if (block.error == Z_OK && !block.dictionary.empty()) {
      block.error = deflateSetDictionary((*stream)->Get(),
                                         reinterpret_cast<const Bytef*>(block.dictionary.data()),
                                         static_cast<uInt>(block.dictionary.size()));
    }
    if (block.error == Z_OK) {
      block.error = (*stream)->DeflateAll(block.input, block.last ? Z_FINISH : Z_SYNC_FLUSH,
                                          &block.output);
    }
  } catch (const std::bad_alloc&) {
    block.error = Z_MEM_ERROR;
  }
  if (block.error != Z_OK) stream->reset();
}
