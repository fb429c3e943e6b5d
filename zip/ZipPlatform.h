// File-system helpers of the ZIP writer, all on top of platform::Env::Current().
#pragma once

#include <cstdint>
#include <string>

// `path` without the '/' characters it ends with.
std::string WithoutTrailingSlashes(std::string path);

// The attribute word of `path` (platform::FileAttribute bits) in `*attributes`;
// false when the path cannot be examined.
bool GetFileAttributesOf(const std::string& path, uint32_t* attributes);

// The modification time of `path` in seconds since the epoch; false on failure.
bool GetFileModificationTime(const std::string& path, int64_t* seconds);

// The size of `path` in bytes; false on failure.
bool GetFileSizeOf(const std::string& path, uint64_t* size);

// What an archive entry records about the file it is made from.
struct ZipSourceProperties {
  uint32_t attributes = 0;        // the attribute word
  uint32_t unixMode = 0;          // st_mode: type and permission bits
  int64_t modificationTime = 0;   // seconds since the epoch
};

// The properties of `path` from one look at the file; false on failure.
bool GetSourceProperties(const std::string& path, ZipSourceProperties* properties);

// Sets the modification time of `path`; -1 means now.
bool SetFileTimeOf(const std::string& path, int64_t seconds);

// Removes a file; on failure throws ZipException(DeleteFailed, path) when
// `throwOnError`, else returns false.
bool RemoveFileOf(const std::string& path, bool throwOnError);

// Renames a file; on failure throws ZipException(RenameFailed, from) when
// `throwOnError`, else returns false.
bool RenameFileOf(const std::string& from, const std::string& to, bool throwOnError);

// 0 when `path` does not exist, -1 for a directory, 1 for anything else.
int PathExists(const std::string& path);

// Bytes free on the file system that holds `path`; 0 when unknown.
uint64_t FreeSpaceOnVolume(const std::string& path);

// Creates an empty temporary file named "AKZ..." in the first of: the preferred
// directory (when not empty), the system's temporary directory, the current
// directory, whose file system has at least `neededBytes` free. Returns its
// path, or an empty string when none has room or the file cannot be made.
std::string TemporaryFileName(const std::string& preferredDirectory, uint64_t neededBytes);

// Creates the directory `path` and every missing parent (mode 0755). True when
// the directory exists afterwards.
bool CreateDirectoryPath(const std::string& path);
