// A random-access file as the ZIP writer sees it: an operating-system file
// (ZipFile) or a growable memory block (ZipMemFile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ZipAbstractFile {
 public:
  // Bits of the `openFlags` given to Open.
  enum OpenFlag {
    ModeRead = 0x01,
    ModeWrite = 0x02,
    ShareDenyWrite = 0x04,
    ShareDenyRead = 0x08,
    ShareDenyNone = 0x10,
    ModeCreate = 0x20,
    ModeNoTruncate = 0x40,
  };
  // The combinations the writer uses.
  static constexpr int kCreateArchive = ModeCreate | ModeRead | ModeWrite | ShareDenyWrite;      // 0x27
  static constexpr int kOpenArchive = ModeNoTruncate | ModeRead | ModeWrite | ShareDenyWrite;    // 0x47
  static constexpr int kOpenArchiveReadOnly = ModeNoTruncate | ModeRead | ShareDenyWrite;        // 0x45
  static constexpr int kReadSource = ShareDenyNone | ModeRead;                                    // 0x11
  // A new scratch file only this writer knows of (a journal).
  static constexpr int kCreateScratch = ModeCreate | ModeRead | ModeWrite | ShareDenyNone;        // 0x33
  // A scratch file that exists already, made empty by Env::CreateTempFile.
  static constexpr int kOpenScratch = ModeNoTruncate | ModeRead | ModeWrite | ShareDenyNone;     // 0x53

  virtual ~ZipAbstractFile() = default;

  // Opens `path`; on failure throws (when asked) or returns false.
  virtual bool Open(const std::string& path, int openFlags, bool throwOnError);
  virtual void Close() = 0;
  // Forces written data to the device.
  virtual void Flush() = 0;
  virtual uint64_t Position() = 0;
  // `origin` 0 start, 1 current position, 2 end; returns the new position.
  virtual uint64_t Seek(int64_t offset, int origin) = 0;
  virtual uint64_t Length() = 0;
  // Truncates or extends (with zeros).
  virtual void SetLength(uint64_t length) = 0;
  void SeekToStart() { Seek(0, 0); }
  void SeekToEnd() { Seek(0, 2); }
  // The file's path; empty for memory files.
  virtual std::string Path() const = 0;
  // Reads up to `count` bytes; fewer only at the end of the file.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all `count` bytes or throws.
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual bool IsClosed() const = 0;
};
