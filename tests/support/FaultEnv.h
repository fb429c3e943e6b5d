// An Env that passes every call to another Env and fails chosen ones, so tests
// can see how the program behaves when the disk fills up or a call is refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Env.h"

namespace testing_support {

// A File that passes every call to another; test files override what they change.
class ForwardingFile : public platform::File {
 public:
  explicit ForwardingFile(std::unique_ptr<platform::File> target) : target_(std::move(target)) {}

  int Read(void* buffer, size_t count, size_t* bytesRead) override {
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
  std::unique_ptr<platform::File> target_;
};

// Makes an Env the current one for its lifetime.
class ScopedEnv {
 public:
  explicit ScopedEnv(platform::Env* env) { platform::Env::Install(env); }
  ~ScopedEnv() { platform::Env::Install(nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};

class FaultEnv : public platform::Env {
 public:
  explicit FaultEnv(platform::Env* target = platform::Env::Default()) : target_(target) {}

  // Writes to files whose path contains `pathPart` fail with ENOSPC once
  // `byteBudget` bytes have been written to them in all.
  void FailWritesAfter(const std::string& pathPart, uint64_t byteBudget);
  // OpenFile of a path containing `pathPart` fails with `error`.
  void FailOpen(const std::string& pathPart, int error);
  // RenameFile to a path containing `pathPart` fails with `error`.
  void FailRename(const std::string& pathPart, int error);
  // Every MarkArchived fails with ENOTSUP, as on a file system without xattrs.
  void FailMarkArchived() { failMarkArchived_ = true; }
  // Forgets every injected fault.
  void Heal();
  // How many times files opened through this Env were synced to disk.
  int SyncCount() const { return syncCount_; }

  int OpenFile(const std::string& path, platform::OpenMode mode,
               std::unique_ptr<platform::File>* file) override;
  int CreateTempFile(const std::string& directory, const std::string& prefix,
                     std::string* path) override {
    return target_->CreateTempFile(directory, prefix, path);
  }
  std::string TempDirectory() override { return target_->TempDirectory(); }
  std::string CurrentDirectory() override { return target_->CurrentDirectory(); }
  std::string ExecutableDirectory() override { return target_->ExecutableDirectory(); }
  uint64_t FreeSpace(const std::string& path) override { return target_->FreeSpace(path); }
  int Stat(const std::string& path, platform::FileInfo* info) override {
    return target_->Stat(path, info);
  }
  // Listings read stamps through this Env's IsArchiveBitSet, so a test that
  // overrides it sees every read.
  int OpenDirectory(const std::string& path,
                    std::unique_ptr<platform::DirectoryReader>* reader) override;
  int CreateDirectory(const std::string& path) override { return target_->CreateDirectory(path); }
  int RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  int RenameFile(const std::string& from, const std::string& to) override;
  int SetModificationTime(const std::string& path, int64_t seconds) override {
    return target_->SetModificationTime(path, seconds);
  }
  bool IsArchiveBitSet(const std::string& path, const platform::FileInfo& info) override {
    return target_->IsArchiveBitSet(path, info);
  }
  int MarkArchived(const std::string& path, const platform::FileInfo& seen) override;
  int WriteFileAtomically(const std::string& path, const std::string& contents) override;
  int CreateExclusive(const std::string& path) override { return target_->CreateExclusive(path); }

 private:
  friend class FaultFile;
  // Takes `count` bytes from the write budget of `path`; false when it is spent.
  bool SpendWriteBudget(const std::string& path, size_t count);

  platform::Env* target_;
  std::string writePathPart_;
  std::atomic<int64_t> writeBudget_{-1};
  std::atomic<int> syncCount_{0};
  std::string openPathPart_;
  int openError_ = 0;
  std::string renamePathPart_;
  int renameError_ = 0;
  bool failMarkArchived_ = false;
};

}  // namespace testing_support
