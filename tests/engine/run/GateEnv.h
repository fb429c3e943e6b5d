// An Env that holds the backup worker at one chosen point (the first or second
// read of a file, or the listing of a directory) until the test releases it or
// the worker is asked to stop, so a test can cancel a run at an exact place or
// change a file while it is being stored. It can also fail every read of a
// file, or make it wait in read(2) on a pipe nobody writes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/thread.h>

#include "tests/support/FaultEnv.h"

namespace run_test {

class GateEnv : public testing_support::FaultEnv {
 public:
  enum class Point { FirstRead, SecondRead, ListDirectory };

  ~GateEnv() override {
    for (int fd : pipe_) if (fd >= 0) ::close(fd);
  }

  // Holds the thread that reaches `point` for a path holding `pathPart` (its
  // second read, or the listing of that directory) as the `arrival`-th one.
  // `onReach` runs there first; with `hold` false the thread goes on at once.
  void SetGate(Point point, const std::string& pathPart, bool hold,
               std::function<void()> onReach = nullptr, int arrival = 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    arrivalsLeft_ = arrival;
    point_ = point;
    pathPart_ = pathPart;
    hold_ = hold;
    onReach_ = std::move(onReach);
    armed_ = true;
    reached_ = released_ = false;
  }

  // Blocks the calling thread until the gate has been reached; fails the test
  // after a minute.
  void WaitUntilReached() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!reachedOrReleased_.wait_for(lock, kPatience, [this] { return reached_; })) {
      ADD_FAILURE() << "no thread reached the gate at " << pathPart_ << " within a minute";
    }
  }

  // Lets a held thread go on.
  void Release() { std::lock_guard<std::mutex> lock(mutex_); released_ = true; }

  // Every read of a file whose path holds `pathPart` after its first
  // `goodReads` reads fails with `error`.
  void FailReads(const std::string& pathPart, int error, int goodReads = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    readFailPathPart_ = pathPart;
    readError_ = error;
    goodReads_ = goodReads;
  }

  // A file whose path holds `pathPart` is opened as the read end of a pipe
  // whose write end stays open and silent, so its reads block.
  void BlockReads(const std::string& pathPart) {
    ASSERT_EQ(0, ::pipe(pipe_));
    blockPathPart_ = pathPart;
  }

  int OpenFile(const std::string& path, platform::OpenMode mode,
               std::unique_ptr<platform::File>* file) override {
    const bool blocked = !blockPathPart_.empty() && path.find(blockPathPart_) != std::string::npos;
    std::unique_ptr<platform::File> target;
    const int error = FaultEnv::OpenFile(
        blocked ? "/proc/self/fd/" + std::to_string(pipe_[0]) : path, mode, &target);
    if (error == 0) file->reset(new GatedFile(this, path, std::move(target)));
    return error;
  }

  int OpenDirectory(const std::string& path,
                    std::unique_ptr<platform::DirectoryReader>* reader) override {
    Arrive(Point::ListDirectory, path);
    return FaultEnv::OpenDirectory(path, reader);
  }

 private:
  class GatedFile : public platform::FileWrapper {
   public:
    GatedFile(GateEnv* env, std::string path, std::unique_ptr<platform::File> target)
        : FileWrapper(std::move(target)), env_(env), path_(std::move(path)) {}
    int Read(void* buffer, size_t count, size_t* bytesRead) override {
      if (const int error = env_->ReadError(path_, reads_)) return error;
      if (++reads_ <= 2) env_->Arrive(reads_ == 1 ? Point::FirstRead : Point::SecondRead, path_);
      return FileWrapper::Read(buffer, count, bytesRead);
    }

   private:
    GateEnv* env_;
    std::string path_;
    int reads_ = 0;
  };

  int ReadError(const std::string& path, int readsDone) {
    std::lock_guard<std::mutex> lock(mutex_);
    return readError_ != 0 && readsDone >= goodReads_ &&
                   path.find(readFailPathPart_) != std::string::npos
               ? readError_
               : 0;
  }

  // The held thread waits until released, or until it is itself a worker
  // thread that has been asked to stop (it then goes on and notices that);
  // after a minute the test fails and the thread goes on.
  void Arrive(Point point, const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!armed_ || point != point_ || path.find(pathPart_) == std::string::npos) return;
    if (--arrivalsLeft_ > 0) return;
    armed_ = false;
    if (onReach_) onReach_();
    reached_ = true;
    reachedOrReleased_.notify_all();
    wxThread* worker = wxThread::This();
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (hold_ && !released_ && !(worker != nullptr && worker->TestDestroy())) {
      if (std::chrono::steady_clock::now() >= deadline) {
        ADD_FAILURE() << "the thread held at " << path << " was not released within a minute";
        return;
      }
      reachedOrReleased_.wait_for(lock, std::chrono::milliseconds(1));
    }
  }

  static constexpr std::chrono::minutes kPatience{1};
  std::mutex mutex_;
  std::condition_variable reachedOrReleased_;
  Point point_ = Point::SecondRead;
  std::string pathPart_, readFailPathPart_, blockPathPart_;
  int pipe_[2] = {-1, -1};
  bool armed_ = false, hold_ = false, reached_ = false, released_ = false;
  std::function<void()> onReach_;
  int readError_ = 0;
  int goodReads_ = 0;
  int arrivalsLeft_ = 1;
};

using testing_support::ScopedEnv;

}  // namespace run_test
