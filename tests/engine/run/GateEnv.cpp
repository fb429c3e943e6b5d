#include "tests/engine/run/GateEnv.h"

#include <chrono>

#include <wx/thread.h>

namespace run_test {

class GatedFile : public platform::File {
 public:
  GatedFile(GateEnv* env, std::string path, std::unique_ptr<platform::File> target)
      : env_(env), path_(std::move(path)), target_(std::move(target)) {}

  int Read(void* buffer, size_t count, size_t* bytesRead) override {
    if (const int error = env_->ReadError(path_)) return error;
    if (++reads_ == 2) env_->Arrive(GateEnv::Point::SecondRead, path_);
    return target_->Read(buffer, count, bytesRead);
  }
  int Write(const void* buffer, size_t count) override { return target_->Write(buffer, count); }
  int Seek(int64_t offset, int origin, uint64_t* newPosition) override {
    return target_->Seek(offset, origin, newPosition);
  }
  int Truncate(uint64_t length) override { return target_->Truncate(length); }
  int Length(uint64_t* length) override { return target_->Length(length); }
  int Sync() override { return target_->Sync(); }
  int Close() override { return target_->Close(); }

 private:
  GateEnv* env_;
  std::string path_;
  std::unique_ptr<platform::File> target_;
  int reads_ = 0;
};

void GateEnv::SetGate(Point point, const std::string& pathPart, bool hold,
                      std::function<void()> onReach) {
  std::lock_guard<std::mutex> lock(mutex_);
  point_ = point;
  pathPart_ = pathPart;
  hold_ = hold;
  onReach_ = std::move(onReach);
  armed_ = true;
  reached_ = false;
  released_ = false;
}

void GateEnv::WaitUntilReached() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return reached_; });
}

void GateEnv::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

void GateEnv::FailReads(const std::string& pathPart, int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  readFailPathPart_ = pathPart;
  readError_ = error;
}

int GateEnv::ReadError(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return readError_ != 0 && path.find(readFailPathPart_) != std::string::npos ? readError_ : 0;
}

int GateEnv::OpenFile(const std::string& path, platform::OpenMode mode,
                      std::unique_ptr<platform::File>* file) {
  std::unique_ptr<platform::File> target;
  const int error = FaultEnv::OpenFile(path, mode, &target);
  if (error != 0) return error;
  file->reset(new GatedFile(this, path, std::move(target)));
  return 0;
}

int GateEnv::MarkArchived(const std::string& path, const platform::FileInfo& seen) {
  Arrive(Point::MarkArchived, path);
  return FaultEnv::MarkArchived(path, seen);
}

// The held thread waits until released, or until it is itself a worker thread
// that has been asked to stop (it then goes on and notices the request).
void GateEnv::Arrive(Point point, const std::string& path) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!armed_ || point != point_ || path.find(pathPart_) == std::string::npos) return;
  armed_ = false;
  if (onReach_) onReach_();
  reached_ = true;
  changed_.notify_all();
  if (!hold_) return;
  wxThread* worker = wxThread::This();
  while (!released_ && !(worker != nullptr && worker->TestDestroy())) {
    changed_.wait_for(lock, std::chrono::milliseconds(1));
  }
}

}  // namespace run_test
