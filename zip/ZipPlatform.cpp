#include "zip/ZipPlatform.h"

#include <cerrno>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "zip/ZipException.h"

namespace {

std::string BaseName(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
  platform::FileInfo info;
  return platform::Env::Current()->Stat(path, &info) == 0 && info.isDirectory;
}

}  // namespace

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

bool GetFileAttributesOf(const std::string& path, uint32_t* attributes) {
  ZipSourceProperties properties;
  if (!GetSourceProperties(path, &properties)) return false;
  *attributes = properties.attributes;
  return true;
}

bool GetSourceProperties(const std::string& path, ZipSourceProperties* properties) {
  platform::Env* env = platform::Env::Current();
  platform::FileInfo info;
  if (env->Stat(path, &info) != 0) return false;
  uint32_t word = 0;
  if (info.isDirectory) word |= platform::AttrDirectory;
  if (!info.ownerWritable) word |= platform::AttrReadOnly;
  if (BaseName(WithoutTrailingSlashes(path)).compare(0, 1, ".") == 0) word |= platform::AttrHidden;
  if (!info.isDirectory && env->IsArchiveBitSet(path, info)) word |= platform::AttrArchive;
  properties->attributes = word;
  properties->unixMode = info.mode & 0xFFFF;
  properties->modificationTime = info.mtimeSeconds;
  return true;
}

bool GetFileModificationTime(const std::string& path, int64_t* seconds) {
  platform::FileInfo info;
  if (platform::Env::Current()->Stat(path, &info) != 0) return false;
  *seconds = info.mtimeSeconds;
  return true;
}

bool GetFileSizeOf(const std::string& path, uint64_t* size) {
  platform::FileInfo info;
  if (platform::Env::Current()->Stat(path, &info) != 0 || info.isDirectory) return false;
  *size = info.size;
  return true;
}

bool SetFileTimeOf(const std::string& path, int64_t seconds) {
  if (seconds == -1) seconds = platform::Clock::Current()->Now();
  return platform::Env::Current()->SetModificationTime(path, seconds) == 0;
}

bool RemoveFileOf(const std::string& path, bool throwOnError) {
  if (platform::Env::Current()->RemoveFile(path) == 0) return true;
  if (throwOnError) throw ZipException(ZipException::DeleteFailed, path);
  return false;
}

bool RenameFileOf(const std::string& from, const std::string& to, bool throwOnError) {
  if (platform::Env::Current()->RenameFile(from, to) == 0) return true;
  if (throwOnError) throw ZipException(ZipException::RenameFailed, from);
  return false;
}

int PathExists(const std::string& path) {
  platform::FileInfo info;
  if (platform::Env::Current()->Stat(path, &info) != 0) return 0;
  return info.isDirectory ? -1 : 1;
}

uint64_t FreeSpaceOnVolume(const std::string& path) {
  return platform::Env::Current()->FreeSpace(path);
}

std::string TemporaryFileName(const std::string& preferredDirectory, uint64_t neededBytes) {
  platform::Env* env = platform::Env::Current();
  std::string directory;
  for (const std::string& candidate :
       {preferredDirectory, env->TempDirectory(), env->CurrentDirectory()}) {
    if (!candidate.empty() && env->FreeSpace(candidate) >= neededBytes) {
      directory = candidate;
      break;
    }
  }
  std::string path;
  if (directory.empty() || env->CreateTempFile(directory, "AKZ", &path) != 0) return "";
  return path;
}

bool CreateDirectoryPath(const std::string& path) {
  std::string directory = WithoutTrailingSlashes(path);
  if (directory.empty() || IsDirectory(directory)) return true;
  std::string parent = ParentOf(directory);
  if (!parent.empty() && !CreateDirectoryPath(parent)) return false;
  int error = platform::Env::Current()->CreateDirectory(directory);
  return error == 0 || (error == EEXIST && IsDirectory(directory));
}
