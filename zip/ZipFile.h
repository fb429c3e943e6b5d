// A ZipAbstractFile on a file of the operating system, through platform::Env.
// Failures throw ZipException with the errno value and the file's path.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Env.h"
#include "zip/ZipAbstractFile.h"

class ZipFile : public ZipAbstractFile {
 public:
  ZipFile() = default;
  ~ZipFile() override;

  bool Open(const std::string& path, int openFlags, bool throwOnError) override;
  void Close() override;
  void Flush() override;
  uint64_t Position() override;
  uint64_t Seek(int64_t offset, int origin) override;
  uint64_t Length() override;
  void SetLength(uint64_t length) override;
  std::string Path() const override { return path_; }
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  bool IsClosed() const override { return file_ == nullptr; }
  // Errors from now on name `path` (the archive a staged file becomes).
  void ReportAs(const std::string& path) { path_ = path; }

 private:
  void Check(int error) const;
  int OpenOwn(const std::string& path, int openFlags);

  std::unique_ptr<platform::File> file_;
  std::string path_;
  // Something was written, truncated or created since the last sync: an
  // archive that was only read is closed without forcing anything to disk.
  bool unsynced_ = false;
  // The file position as the last call left it, so that asking for it costs
  // no call to the system; unknown (-1) after an error and until the first seek.
  int64_t position_ = -1;
};
