// An Env that passes every call to another Env and fails chosen ones, so tests
// can see how the program behaves when the disk fills up or a call is refused.
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
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
  // `byteBudget` bytes have been written to them in all; the write that
  // crosses the budget places the bytes that fit first, as a full disk does.
  void FailWritesAfter(const std::string& pathPart, uint64_t byteBudget) {
    writePathPart_ = pathPart, writeBudget_ = static_cast<int64_t>(byteBudget);
  }
  // Simulates the death of the process at its `call`-th changing call (a file
  // write, truncate or sync, a rename, link, removal or directory sync;
  // counted from 1 since the last Heal): that call fails with EIO, a write
  // after placing half of its bytes, and from then on every changing call,
  // and every open that could create a file, fails without effect.
  void CrashAt(int call) { crashAt_ = call; }
  bool Crashed() const { return crashed_; }
  // Changing calls since the last Heal.
  int ChangingCalls() const { return changingCalls_; }
  // OpenFile of a path containing `pathPart` fails with `error`.
  void FailOpen(const std::string& pathPart, int error) {
    openPathPart_ = pathPart, openError_ = error;
  }
  // RenameFile or LinkFile to a path containing `pathPart` fails with `error`.
  void FailRename(const std::string& pathPart, int error) {
    renamePathPart_ = pathPart, renameError_ = error;
  }
  // FreeSpace reports at most `bytes`, as on a nearly full disk.
  void LimitFreeSpace(uint64_t bytes) { freeSpace_ = bytes; }
  // Every MarkArchived fails with ENOTSUP, as on a file system without xattrs.
  void FailMarkArchived() { failMarkArchived_ = true; }
  // A read that waits for data gives up after `milliseconds`.
  void LimitReadWait(int milliseconds) { readTimeout_ = milliseconds; }
  // Forgets every injected fault and a crash: the next process starts.
  void Heal();
  // How many times files opened through this Env were synced to disk, and
  // how many times directories were.
  int SyncCount() const { return syncCount_; }
  int DirectorySyncCount() const { return directorySyncCount_; }

  int OpenFile(const std::string& path, platform::OpenMode mode,
               std::unique_ptr<platform::File>* file) override;
  int OpenLocked(const std::string& path, platform::OpenMode mode, platform::LockKind lock,
                 std::unique_ptr<platform::File>* file) override;
  int CreateTempFile(const std::string& directory, const std::string& prefix,
                     std::string* path) override {
    return crashed_ ? EIO : target_->CreateTempFile(directory, prefix, path);
  }
  std::string TempDirectory() override { return target_->TempDirectory(); }
  std::string CurrentDirectory() override { return target_->CurrentDirectory(); }
  std::string ExecutableDirectory() override { return target_->ExecutableDirectory(); }
  int ReplaceProcess(const std::string& path, char* const arguments[]) override {
    return target_->ReplaceProcess(path, arguments);
  }
  uint64_t FreeSpace(const std::string& path) override {
    return std::min(freeSpace_.load(), target_->FreeSpace(path));
  }
  int Stat(const std::string& path, platform::FileInfo* info) override {
    return target_->Stat(path, info);
  }
  // Listings read stamps through this Env's IsArchiveBitSet, so a test that
  // overrides it sees every read.
  int OpenDirectory(const std::string& path,
                    std::unique_ptr<platform::DirectoryReader>* reader) override;
  int CreateDirectory(const std::string& path) override { return target_->CreateDirectory(path); }
  int RemoveFile(const std::string& path) override;
  int RemoveDirectory(const std::string& path) override {
    return crashed_ ? EIO : target_->RemoveDirectory(path);
  }
  int RenameFile(const std::string& from, const std::string& to) override;
  int LinkFile(const std::string& from, const std::string& to) override;
  int SyncDirectory(const std::string& path) override;
  int SetModificationTime(const std::string& path, int64_t seconds) override {
    return target_->SetModificationTime(path, seconds);
  }
  int SetPermissions(const std::string& path, uint32_t mode) override {
    return target_->SetPermissions(path, mode);
  }
  bool IsArchiveBitSet(const std::string& path, const platform::FileInfo& info) override {
    return target_->IsArchiveBitSet(path, info);
  }
  int MarkArchived(const std::string& path, const platform::FileInfo& seen) override;
  int WriteFileAtomically(const std::string& path, const std::string& contents) override;
  int CreateExclusive(const std::string& path) override { return target_->CreateExclusive(path); }
  int OpenOwnFile(const std::string& path, bool createNew, const platform::LockKind* lock,
                  std::unique_ptr<platform::File>* file) override;
  int LinkStat(const std::string& path, platform::FileInfo* info) override {
    return target_->LinkStat(path, info);
  }
  bool IsPseudoFileSystem(const std::string& path) override {
    return target_->IsPseudoFileSystem(path);
  }
  int AppendLine(const std::string& path, const std::string& line) override {
    return target_->AppendLine(path, line);
  }
  int WaitForLock(const std::string& path, platform::LockKind lock,
                  std::unique_ptr<platform::File>* holder) override {
    return target_->WaitForLock(path, lock, holder);
  }
  std::string StateDirectory() override { return target_->StateDirectory(); }
  int ReadTimeoutMilliseconds() override {
    return readTimeout_ > 0 ? readTimeout_.load() : target_->ReadTimeoutMilliseconds();
  }

 private:
  friend class FaultFile;
  // Takes up to `count` bytes from the write budget of `path`; returns how
  // many may be written.
  size_t SpendWriteBudget(const std::string& path, size_t count);
  // Counts a changing call: EIO when the process is (or now becomes) dead.
  // For a write of `*count` bytes, sets how many still reach the file.
  int Change(size_t* count = nullptr);
  int Open(const std::string& path, platform::OpenMode mode,
           const std::function<int(std::unique_ptr<platform::File>*)>& open,
           std::unique_ptr<platform::File>* file);

  platform::Env* target_;
  std::atomic<uint64_t> freeSpace_{UINT64_MAX};
  std::string writePathPart_;
  std::atomic<int64_t> writeBudget_{-1};
  std::atomic<int> syncCount_{0};
  std::atomic<int> directorySyncCount_{0};
  std::atomic<int> changingCalls_{0};
  int crashAt_ = 0;
  std::atomic<bool> crashed_{false};
  std::string openPathPart_;
  int openError_ = 0;
  std::string renamePathPart_;
  int renameError_ = 0;
  bool failMarkArchived_ = false;
  std::atomic<int> readTimeout_{0};
};

}  // namespace testing_support
