#include "zip/ZipParallelDeflater.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include <zlib.h>

#include "zip/ZipDeflateStream.h"

namespace {

constexpr size_t kDictionarySize = 32 * 1024;

}  // namespace

ZipParallelDeflater::ZipParallelDeflater(std::function<void(const char*, size_t)> sink,
                                         std::function<void(int)> throwZlib)
    : sink_(std::move(sink)), throwZlib_(std::move(throwZlib)) {}

ZipParallelDeflater::~ZipParallelDeflater() { Discard(); }

unsigned ZipParallelDeflater::Workers() {
  static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return cores;
}

void ZipParallelDeflater::Begin(int level) {
  Discard();
  level_ = level;
  block_.reserve(kBlockSize);
}

void ZipParallelDeflater::Write(const char* data, size_t count) {
  while (count > 0) {
    size_t n = std::min(count, kBlockSize - block_.size());
    block_.append(data, n);
    data += n;
    count -= n;
    if (block_.size() == kBlockSize) Submit(false);
  }
}

void ZipParallelDeflater::Finish() {
  Submit(true);
  while (!running_.empty()) WriteOldest();
  dictionary_.clear();
}

void ZipParallelDeflater::Discard() {
  running_.clear();  // each future waits for its block to end
  block_.clear();
  dictionary_.clear();
}

void ZipParallelDeflater::Submit(bool last) {
  std::string next;
  if (block_.size() >= kDictionarySize) {
    next = block_.substr(block_.size() - kDictionarySize);
  } else {
    next = dictionary_ + block_;
    if (next.size() > kDictionarySize) next.erase(0, next.size() - kDictionarySize);
  }
  std::future<Result> result;
  try {
    result = std::async(std::launch::async, &ZipParallelDeflater::Compress, level_,
                        std::move(block_), std::move(dictionary_), last);
  } catch (const std::system_error&) {
    // No thread to be had: compress the block here.
    result = std::async(std::launch::deferred, &ZipParallelDeflater::Compress, level_,
                        std::move(block_), std::move(dictionary_), last);
  }
  running_.push_back(std::move(result));
  dictionary_ = std::move(next);
  block_.clear();
  block_.reserve(kBlockSize);
  if (running_.size() > Workers()) WriteOldest();
}

void ZipParallelDeflater::WriteOldest() {
  Result result = running_.front().get();
  running_.pop_front();
  if (result.error != 0) throwZlib_(result.error);
  sink_(result.output.data(), result.output.size());
}

ZipParallelDeflater::Result ZipParallelDeflater::Compress(int level, std::string input,
                                                          std::string dictionary, bool last) {
  Result result;
  ZipDeflateStream stream(level);
  if (stream.InitResult() != Z_OK) {
    result.error = stream.InitResult();
    return result;
  }
  if (!dictionary.empty()) {
    int set = deflateSetDictionary(stream.Get(), reinterpret_cast<const Bytef*>(dictionary.data()),
                                   static_cast<uInt>(dictionary.size()));
    if (set != Z_OK) {
      result.error = set;
      return result;
    }
  }
  const int code = stream.DeflateAll(input, last ? Z_FINISH : Z_SYNC_FLUSH, &result.output);
  if (code != Z_OK) result.error = code;
  return result;
}
