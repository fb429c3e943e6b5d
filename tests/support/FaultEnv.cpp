#include "tests/support/FaultEnv.h"

#include <cerrno>

namespace testing_support {

class FaultFile : public ForwardingFile {
 public:
  FaultFile(FaultEnv* env, std::string path, std::unique_ptr<platform::File> target)
      : ForwardingFile(std::move(target)), env_(env), path_(std::move(path)) {}

  int Write(const void* buffer, size_t count) override {
    if (!env_->SpendWriteBudget(path_, count)) return ENOSPC;
    return ForwardingFile::Write(buffer, count);
  }
  int Sync() override {
    ++env_->syncCount_;
    return ForwardingFile::Sync();
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
  const int error = target_->OpenDirectory(path, &target);
  if (error == 0) reader->reset(new FaultDirectoryReader(this, path, std::move(target)));
  return error;
}

void FaultEnv::FailWritesAfter(const std::string& pathPart, uint64_t byteBudget) {
  writePathPart_ = pathPart;
  writeBudget_ = static_cast<int64_t>(byteBudget);
}

void FaultEnv::FailOpen(const std::string& pathPart, int error) {
  openPathPart_ = pathPart;
  openError_ = error;
}

void FaultEnv::FailRename(const std::string& pathPart, int error) {
  renamePathPart_ = pathPart;
  renameError_ = error;
}

void FaultEnv::Heal() {
  writeBudget_ = -1;
  openError_ = 0;
  renameError_ = 0;
  failMarkArchived_ = false;
}

bool FaultEnv::SpendWriteBudget(const std::string& path, size_t count) {
  if (writeBudget_ < 0 || path.find(writePathPart_) == std::string::npos) return true;
  if (static_cast<int64_t>(count) > writeBudget_) {
    writeBudget_ = 0;
    return false;
  }
  writeBudget_ -= static_cast<int64_t>(count);
  return true;
}

int FaultEnv::OpenFile(const std::string& path, platform::OpenMode mode,
                       std::unique_ptr<platform::File>* file) {
  if (openError_ != 0 && path.find(openPathPart_) != std::string::npos) return openError_;
  std::unique_ptr<platform::File> target;
  int error = target_->OpenFile(path, mode, &target);
  if (error != 0) return error;
  file->reset(new FaultFile(this, path, std::move(target)));
  return 0;
}

int FaultEnv::RenameFile(const std::string& from, const std::string& to) {
  if (renameError_ != 0 && to.find(renamePathPart_) != std::string::npos) return renameError_;
  return target_->RenameFile(from, to);
}

int FaultEnv::MarkArchived(const std::string& path, const platform::FileInfo& seen) {
  if (failMarkArchived_) return ENOTSUP;
  return target_->MarkArchived(path, seen);
}

int FaultEnv::WriteFileAtomically(const std::string& path, const std::string& contents) {
  if (!SpendWriteBudget(path, contents.size())) return ENOSPC;
  return target_->WriteFileAtomically(path, contents);
}

}  // namespace testing_support
