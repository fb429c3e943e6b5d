// An Env and a File that pass every call to another. A wrapper that changes a
// few calls (to count them, hold them or make them fail) overrides only those.
#pragma once

#include "platform/Env.h"

namespace platform {

class FileWrapper : public File {
 public:
  explicit FileWrapper(std::unique_ptr<File> target) : target_(std::move(target)) {}

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
  std::unique_ptr<File> target_;
};

class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}

  // The Env every call goes to.
  Env* target() const { return target_; }

  int OpenFile(const std::string& path, OpenMode mode, std::unique_ptr<File>* file) override {
    return target_->OpenFile(path, mode, file);
  }
  int OpenLocked(const std::string& path, OpenMode mode, LockKind lock,
                 std::unique_ptr<File>* file) override {
    return target_->OpenLocked(path, mode, lock, file);
  }
  int CreateTempFile(const std::string& directory, const std::string& prefix,
                     std::string* path) override {
    return target_->CreateTempFile(directory, prefix, path);
  }
  std::string TempDirectory() override { return target_->TempDirectory(); }
  std::string CurrentDirectory() override { return target_->CurrentDirectory(); }
  std::string ExecutableDirectory() override { return target_->ExecutableDirectory(); }
  int ReplaceProcess(const std::string& path, char* const arguments[]) override {
    return target_->ReplaceProcess(path, arguments);
  }
  uint64_t FreeSpace(const std::string& path) override { return target_->FreeSpace(path); }
  int Stat(const std::string& path, FileInfo* info) override { return target_->Stat(path, info); }
  int OpenDirectory(const std::string& path, std::unique_ptr<DirectoryReader>* reader) override {
    return target_->OpenDirectory(path, reader);
  }
  int CreateDirectory(const std::string& path) override { return target_->CreateDirectory(path); }
  int RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  int RemoveDirectory(const std::string& path) override { return target_->RemoveDirectory(path); }
  int RenameFile(const std::string& from, const std::string& to) override {
    return target_->RenameFile(from, to);
  }
  int LinkFile(const std::string& from, const std::string& to) override {
    return target_->LinkFile(from, to);
  }
  int SyncDirectory(const std::string& path) override { return target_->SyncDirectory(path); }
  int SetModificationTime(const std::string& path, int64_t seconds) override {
    return target_->SetModificationTime(path, seconds);
  }
  int SetPermissions(const std::string& path, uint32_t mode) override {
    return target_->SetPermissions(path, mode);
  }
  bool IsArchiveBitSet(const std::string& path, const FileInfo& info) override {
    return target_->IsArchiveBitSet(path, info);
  }
  int MarkArchived(const std::string& path, const FileInfo& seen) override {
    return target_->MarkArchived(path, seen);
  }
  int WriteFileAtomically(const std::string& path, const std::string& contents) override {
    return target_->WriteFileAtomically(path, contents);
  }
  int CreateExclusive(const std::string& path) override { return target_->CreateExclusive(path); }
  int OpenOwnFile(const std::string& path, bool createNew, const LockKind* lock,
                  std::unique_ptr<File>* file) override {
    return target_->OpenOwnFile(path, createNew, lock, file);
  }
  int LinkStat(const std::string& path, FileInfo* info) override {
    return target_->LinkStat(path, info);
  }
  bool IsPseudoFileSystem(const std::string& path) override {
    return target_->IsPseudoFileSystem(path);
  }
  int AppendLine(const std::string& path, const std::string& line) override {
    return target_->AppendLine(path, line);
  }
  int WaitForLock(const std::string& path, LockKind lock, std::unique_ptr<File>* holder) override {
    return target_->WaitForLock(path, lock, holder);
  }
  int ReadTimeoutMilliseconds() override { return target_->ReadTimeoutMilliseconds(); }
  std::string StateDirectory() override { return target_->StateDirectory(); }

 private:
  Env* target_;
};

}  // namespace platform
