#include "zip/ZipDeflateLane.h"

#include <algorithm>
#include <new>

#include <zlib.h>

#include "zip/ZipDeflateStream.h"

namespace {

// The queue's limits, and what makes a batch worth waking the thread for.
constexpr size_t kDepth = 256;
constexpr size_t kMaxBytes = 4 << 20;
constexpr size_t kBatchJobs = 32;
constexpr size_t kBatchBytes = 512 * 1024;

// Deflates `input` in one call into `result`, reusing `stream` when its level fits.
void Deflate(std::string& input, int level, std::unique_ptr<ZipDeflateStream>& stream,
             std::string& scratch, ZipDeflateLane::Entry* result) {
  const auto* bytes = reinterpret_cast<const Bytef*>(input.data());
  result->inputSize = input.size();
  result->crc = static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), bytes, static_cast<uInt>(input.size())));
  if (level == 0) {
    result->data = std::move(input);
    return;
  }
  if (const int prepared = ZipDeflateStream::Prepare(&stream, level); prepared != Z_OK) {
    result->error = prepared;
    return;
  }
  const int code = stream->DeflateAll(input, Z_FINISH, &scratch);
  if (code != Z_OK) {
    result->error = code;
    stream.reset();
    return;
  }
  result->data = scratch;  // a copy of its length; scratch keeps its capacity
  std::string().swap(input);
}

}  // namespace

ZipDeflateLane::ZipDeflateLane() : thread_(&ZipDeflateLane::Run, this) {}

ZipDeflateLane::~ZipDeflateLane() {
  Clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  workReady_.notify_one();
  thread_.join();
}

void ZipDeflateLane::Submit(std::string input, int level) {
  std::lock_guard<std::mutex> lock(mutex_);
  queuedBytes_ += input.size();
  waitingBytes_ += input.size();
  ++waitingCount_;
  jobs_.push_back(Job{std::move(input), level, State::Waiting, Entry()});
  WakeIfIdle(waitingCount_ >= kBatchJobs || waitingBytes_ >= kBatchBytes);
}

size_t ZipDeflateLane::Queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size();
}

bool ZipDeflateLane::Full() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size() >= kDepth || queuedBytes_ >= kMaxBytes;
}

void ZipDeflateLane::WaitFor(size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  count = std::min(count, jobs_.size());
  WakeIfIdle(true);
  while (doneCount_ < count) {
    auto newest = std::find_if(jobs_.rbegin(), jobs_.rend(),
                               [](const Job& job) { return job.state == State::Waiting; });
    if (newest != jobs_.rend()) {
      Process(*newest, writerDeflater_, lock);
      continue;
    }
    writerWaits_ = true;
    doneReady_.wait(lock);
    writerWaits_ = false;
  }
}

bool ZipDeflateLane::TakeDone(Entry* entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (doneCount_ == 0) return false;
  *entry = std::move(jobs_.front().result);
  queuedBytes_ -= entry->inputSize;
  jobs_.pop_front();
  --doneCount_;
  return true;
}

// Jobs are never taken out of the middle of the queue while one is being
// deflated: that would move the job under the thread's hands.
void ZipDeflateLane::Clear() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (Job& job : jobs_) {
    if (job.state == State::Waiting) job.state = State::Done;
  }
  waitingCount_ = waitingBytes_ = 0;
  writerWaits_ = true;
  doneReady_.wait(lock, [this] { return running_ == 0; });
  writerWaits_ = false;
  jobs_.clear();
  doneCount_ = queuedBytes_ = 0;
}

void ZipDeflateLane::Process(Job& job, Deflater& deflater, std::unique_lock<std::mutex>& lock) {
  job.state = State::Running;
  --waitingCount_;
  waitingBytes_ -= job.input.size();
  ++running_;
  lock.unlock();
  try {
    Deflate(job.input, job.level, deflater.stream, deflater.scratch, &job.result);
  } catch (const std::bad_alloc&) {
    job.result.error = Z_MEM_ERROR;
    deflater.stream.reset();
  }
  lock.lock();
  job.state = State::Done;
  --running_;
  AdvanceDone();
}

void ZipDeflateLane::AdvanceDone() {
  while (doneCount_ < jobs_.size() && jobs_[doneCount_].state == State::Done) ++doneCount_;
}

void ZipDeflateLane::WakeIfIdle(bool enough) {
  if (!idle_ || !enough || waitingCount_ == 0) return;
  idle_ = false;
  workReady_.notify_one();
}

// Takes the oldest waiting job while there is one, then sleeps until woken.
void ZipDeflateLane::Run() {
  Deflater deflater;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stop_) return;
    auto oldest = std::find_if(jobs_.begin() + static_cast<std::ptrdiff_t>(doneCount_), jobs_.end(),
                               [](const Job& job) { return job.state == State::Waiting; });
    if (oldest == jobs_.end()) {
      idle_ = true;
      workReady_.wait(lock);
      continue;
    }
    Process(*oldest, deflater, lock);
    if (writerWaits_) doneReady_.notify_one();
  }
}
