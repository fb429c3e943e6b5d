#include "engine/BackupRunner.h"

#include "engine/BackupProgress.h"
#include "engine/BackupThread.h"

BackupRunner::BackupRunner(BackupProgress& progress) : progress_(progress) {}

BackupRunner::~BackupRunner() { Stop(); ReapThread(); }

bool BackupRunner::Run() {
  succeeded_ = false;
  return false;
}

bool BackupRunner::RunNow(BackupJob* job, bool full) {
  job_ = job;
  fullBackup_ = full;
  progress_.Reset();
  return Run();
}

bool BackupRunner::Start(BackupJob* job, bool full) {
  if (IsBusy()) return false;
  job_ = job;
  fullBackup_ = full;
  ReapThread();
  thread_ = std::make_unique<BackupThread>(*this);
  thread_->Create(0);
  thread_->SetPriority(50);
  thread_->Run();
  return true;
}

bool BackupRunner::Stop() {
  if (!IsBusy()) return true;
  thread_->Delete();
  ReapThread();
  return true;
}

bool BackupRunner::IsBusy() const { return thread_ != nullptr && thread_->IsRunning(); }

BackupJob* BackupRunner::RunningJob() const { return IsBusy() ? job_ : nullptr; }

bool BackupRunner::RunInThread() {
  progress_.Reset();
  const bool result = Run();
  progress_.finishedJob = job_;
  return result;
}

bool BackupRunner::StopRequested() const {
  return thread_ != nullptr && wxThread::This() == thread_.get() && thread_->TestDestroy();
}

void BackupRunner::ReapThread() {
  if (thread_ == nullptr) return;
  thread_->Delete();
  thread_->Wait();
  thread_.reset();
}
