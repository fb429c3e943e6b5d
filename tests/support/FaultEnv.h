// An Env that passes every call to another Env and fails chosen ones, so tests
// can see how the program behaves when the disk fills up or a call is refused.
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/EnvWrapper.h"

namespace testing_support {

// Makes an Env the current one for its lifetime.
class ScopedEnv {
 public:
  explicit ScopedEnv(platform::Env* env) { platform::Env::Install(env); }
  ~ScopedEnv() { platform::Env::Install(nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};

class FaultEnv : public platform::EnvWrapper {
 public:
  explicit FaultEnv(platform::Env* target = platform::Env::Default()) : EnvWrapper(target) {}

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
  int OpenOwnFile(const std::string& path, bool createNew, const platform::LockKind* lock,
                  std::unique_ptr<platform::File>* file) override;
  int CreateTempFile(const std::string& directory, const std::string& prefix,
                     std::string* path) override {
    return crashed_ ? EIO : EnvWrapper::CreateTempFile(directory, prefix, path);
  }
  uint64_t FreeSpace(const std::string& path) override {
    return std::min(freeSpace_.load(), EnvWrapper::FreeSpace(path));
  }
  // Listings read stamps through this Env's IsArchiveBitSet, so a test that
  // overrides it sees every read.
  int OpenDirectory(const std::string& path,
                    std::unique_ptr<platform::DirectoryReader>* reader) override;
  int RemoveFile(const std::string& path) override;
  int RemoveDirectory(const std::string& path) override {
    return crashed_ ? EIO : EnvWrapper::RemoveDirectory(path);
  }
  int RenameFile(const std::string& from, const std::string& to) override;
  int LinkFile(const std::string& from, const std::string& to) override;
  int SyncDirectory(const std::string& path) override;
  int MarkArchived(const std::string& path, const platform::FileInfo& seen) override;
  int WriteFileAtomically(const std::string& path, const std::string& contents) override;
  int ReadTimeoutMilliseconds() override {
    return readTimeout_ > 0 ? readTimeout_.load() : EnvWrapper::ReadTimeoutMilliseconds();
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
