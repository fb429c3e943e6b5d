#include "tests/support/FaultEnv.h"

namespace testing_support {

class FaultFile : public platform::FileWrapper {
 public:
  FaultFile(FaultEnv* env, std::string path, std::unique_ptr<platform::File> target)
      : FileWrapper(std::move(target)), env_(env), path_(std::move(path)) {}

  int Write(const void* buffer, size_t count) override {
    size_t placed = count;
    int error = env_->Change(&placed);
    if (error == 0) {
      placed = env_->SpendWriteBudget(path_, count);
      if (placed < count) error = ENOSPC;
    }
    if (placed > 0) {
      int writeError = FileWrapper::Write(buffer, placed);
      if (writeError != 0) return writeError;
    }
    return error;
  }
  int Truncate(uint64_t length) override {
    if (int error = env_->Change()) return error;
    return FileWrapper::Truncate(length);
  }
  int Sync() override {
    if (int error = env_->Change()) return error;
    ++env_->syncCount_;
    return FileWrapper::Sync();
  }

 private:
  FaultEnv* env_;
  std::string path_;
};

class FaultDirectoryReader : public platform::DirectoryReader {
 public:
  FaultDirectoryReader(FaultEnv* env, std::string path,
                       std::unique_ptr<platform::DirectoryReader> target)
      : env_(env), path_(std::move(path)), target_(std::move(target)) {}

  bool NextOfKinds(platform::DirEntry* entry, unsigned kinds) override {
    return target_->NextOfKinds(entry, kinds);
  }
  void Rewind() override { target_->Rewind(); }
  int Error() const override { return target_->Error(); }
  bool IsArchiveBitSet(const platform::DirEntry& entry) override {
    const bool endsWithSlash = !path_.empty() && path_.back() == '/';
    return env_->IsArchiveBitSet(path_ + (endsWithSlash ? "" : "/") + entry.name, entry.info);
  }

 private:
  FaultEnv* env_;
  std::string path_;
  std::unique_ptr<platform::DirectoryReader> target_;
};

int FaultEnv::OpenDirectory(const std::string& path,
                            std::unique_ptr<platform::DirectoryReader>* reader) {
  std::unique_ptr<platform::DirectoryReader> target;
  const int error = EnvWrapper::OpenDirectory(path, &target);
  if (error == 0) reader->reset(new FaultDirectoryReader(this, path, std::move(target)));
  return error;
}

void FaultEnv::Heal() {
  crashAt_ = 0;
  crashed_ = false;
  changingCalls_ = 0;
  writeBudget_ = -1;
  openError_ = 0;
  renameError_ = 0;
  failMarkArchived_ = false;
}

size_t FaultEnv::SpendWriteBudget(const std::string& path, size_t count) {
  if (writeBudget_ < 0 || path.find(writePathPart_) == std::string::npos) return count;
  size_t placed = std::min<size_t>(count, static_cast<size_t>(writeBudget_.load()));
  writeBudget_ -= static_cast<int64_t>(placed);
  return placed;
}

int FaultEnv::Change(size_t* count) {
  if (crashed_) {
    if (count != nullptr) *count = 0;
    return EIO;
  }
  if (++changingCalls_ != crashAt_) return 0;
  crashed_ = true;
  if (count != nullptr) *count /= 2;
  return EIO;
}

int FaultEnv::OpenFile(const std::string& path, platform::OpenMode mode,
                       std::unique_ptr<platform::File>* file) {
  return Open(path, mode, [&](auto* target) { return EnvWrapper::OpenFile(path, mode, target); }, file);
}

int FaultEnv::OpenLocked(const std::string& path, platform::OpenMode mode,
                         platform::LockKind lock, std::unique_ptr<platform::File>* file) {
  return Open(path, mode, [&](auto* target) { return EnvWrapper::OpenLocked(path, mode, lock, target); },
              file);
}

int FaultEnv::OpenOwnFile(const std::string& path, bool createNew, const platform::LockKind* lock,
                          std::unique_ptr<platform::File>* file) {
  const auto mode = createNew ? platform::OpenMode::CreateReadWrite : platform::OpenMode::ReadWrite;
  return Open(path, mode,
              [&](auto* target) { return EnvWrapper::OpenOwnFile(path, createNew, lock, target); }, file);
}

int FaultEnv::Open(const std::string& path, platform::OpenMode mode,
                   const std::function<int(std::unique_ptr<platform::File>*)>& open,
                   std::unique_ptr<platform::File>* file) {
  if (openError_ != 0 && path.find(openPathPart_) != std::string::npos) return openError_;
  if (crashed_ && mode == platform::OpenMode::CreateReadWrite) return EIO;
  std::unique_ptr<platform::File> target;
  int error = open(&target);
  if (error != 0) return error;
  file->reset(new FaultFile(this, path, std::move(target)));
  return 0;
}

int FaultEnv::RenameFile(const std::string& from, const std::string& to) {
  if (renameError_ != 0 && to.find(renamePathPart_) != std::string::npos) return renameError_;
  if (int error = Change()) return error;
  return EnvWrapper::RenameFile(from, to);
}

int FaultEnv::LinkFile(const std::string& from, const std::string& to) {
  if (renameError_ != 0 && to.find(renamePathPart_) != std::string::npos) return renameError_;
  if (int error = Change()) return error;
  return EnvWrapper::LinkFile(from, to);
}

int FaultEnv::RemoveFile(const std::string& path) {
  if (int error = Change()) return error;
  return EnvWrapper::RemoveFile(path);
}

int FaultEnv::SyncDirectory(const std::string& path) {
  if (int error = Change()) return error;
  ++directorySyncCount_;
  return EnvWrapper::SyncDirectory(path);
}

int FaultEnv::MarkArchived(const std::string& path, const platform::FileInfo& seen) {
  if (failMarkArchived_) return ENOTSUP;
  return EnvWrapper::MarkArchived(path, seen);
}

int FaultEnv::WriteFileAtomically(const std::string& path, const std::string& contents) {
  if (SpendWriteBudget(path, contents.size()) < contents.size()) return ENOSPC;
  return EnvWrapper::WriteFileAtomically(path, contents);
}

}  // namespace testing_support
