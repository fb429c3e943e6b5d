// The POSIX implementation of Env.
#include "platform/Env.h"

#include "platform/ArchiveStamp.h"
#include "platform/ReadTicker.h"
#include "platform/TerminationSignals.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
namespace {

const char kArchivedAttribute[] = "user.arkivault.archived";

int LastError() { return errno != 0 ? errno : EIO; }

FileInfo InfoFromStat(const struct stat& st) {
  FileInfo info;
  info.isDirectory = S_ISDIR(st.st_mode);
  info.isRegular = S_ISREG(st.st_mode);
  info.ownerWritable = (st.st_mode & S_IWUSR) != 0;
  info.mode = static_cast<uint32_t>(st.st_mode);
  info.size = static_cast<uint64_t>(st.st_size);
  info.mtimeSeconds = st.st_mtim.tv_sec;
  info.mtimeNanoseconds = static_cast<int32_t>(st.st_mtim.tv_nsec);
  info.device = static_cast<uint64_t>(st.st_dev);
  info.inode = static_cast<uint64_t>(st.st_ino);
  info.ctimeSeconds = st.st_ctim.tv_sec;
  info.ctimeNanoseconds = static_cast<int32_t>(st.st_ctim.tv_nsec);
  return info;
}

// Room for a stamp as read back; a longer value is not one of ours.
constexpr size_t kStampReadCapacity = ArchiveStamp::kCapacity;

int64_t RealTimeNanoseconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// getxattrat(2) (Linux 6.13) reads an attribute relative to a directory. Its
// number is the same on every architecture with the common system call table;
// C libraries of the day do not name it yet.
#if defined(SYS_getxattrat)
constexpr long kGetxattratCall = SYS_getxattrat;
#elif defined(__x86_64__) || defined(__aarch64__)
constexpr long kGetxattratCall = 464;
#else
constexpr long kGetxattratCall = -1;
#endif

struct XattrArgs {
  uint64_t value;
  uint32_t size;
  uint32_t flags;
};

// Cleared for the whole process the first time the kernel (or a sandbox)
// refuses getxattrat itself.
std::atomic<bool> relativeStampReadWorks{kGetxattratCall >= 0};

// Reads the archived stamp of `name` in the open directory `directoryFd`
// (path `directory`) into `value`; returns its length or -1. Falls back to the
// full path when the relative call is not available.
ssize_t ReadArchivedStampAt(int directoryFd, const std::string& directory, const char* name,
                            char (&value)[kStampReadCapacity]) {
  if (relativeStampReadWorks.load(std::memory_order_relaxed)) {
    XattrArgs args{reinterpret_cast<uintptr_t>(value), sizeof value, 0};
    const long n = ::syscall(kGetxattratCall, directoryFd, name, 0, kArchivedAttribute, &args,
                             sizeof args);
    // A failure other than a refused call is the file's own answer, which the full
    // path would only repeat.
    if (n >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<ssize_t>(n);
    relativeStampReadWorks = false;
  }
  const std::string path = directory + "/" + name;
  return ::getxattr(path.c_str(), kArchivedAttribute, value, sizeof value);
}

int64_t MonotonicMilliseconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// File systems that keep their files on a local block device or in memory.
// A read there waits only for the device, in a sleep that no signal ends: it
// never waits for an answer that may not come, and a tick could not cut it
// short. Network and FUSE file systems are not among them.
bool IsDiskFileSystem(unsigned long type) {
  static const unsigned long kDiskTypes[] = {
      EXT4_SUPER_MAGIC,  XFS_SUPER_MAGIC,   BTRFS_SUPER_MAGIC, F2FS_SUPER_MAGIC,
      TMPFS_MAGIC,       RAMFS_MAGIC,       MSDOS_SUPER_MAGIC, EXFAT_SUPER_MAGIC,
      ISOFS_SUPER_MAGIC, SQUASHFS_MAGIC,
  };
  for (const unsigned long disk : kDiskTypes) {
    if (type == disk) return true;
  }
  return false;
}

// Whether the file open on `fd`, on `device`, lies on a disk file system. The
// answer for the thread's last device is kept for a second, which spares a
// call per file while a tree is read, yet a file system mounted anew in the
// place of one that was asked about is soon asked about itself.
bool IsOnDiskFileSystem(int fd, dev_t device) {
  constexpr int64_t kKeptMilliseconds = 1000;
  struct Answer {
    dev_t device;
    bool onDisk;
    int64_t until;
  };
  thread_local Answer last{0, false, 0};
  const int64_t now = MonotonicMilliseconds();
  if (device != last.device || now >= last.until) {
    struct statfs fs;
    const bool onDisk = ::fstatfs(fd, &fs) == 0 &&
                        IsDiskFileSystem(static_cast<unsigned long>(fs.f_type) & 0xffffffffUL);
    last = Answer{device, onDisk, now + kKeptMilliseconds};
  }
  return last.onDisk;
}

// Why a read interrupted while it waited since `waitingSince` is given up:
// EINTR when the process is asked to end, ETIME when it waited too long,
// 0 when it waits on.
int BlockedReadError(int64_t waitingSince) {
  if (TerminationSignals::Pending()) return EINTR;
  const int64_t waited = MonotonicMilliseconds() - waitingSince;
  return waited >= Env::Current()->ReadTimeoutMilliseconds() ? ETIME : 0;
}

std::string DirectoryOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  // A file its open looked at (`st`): its length is known until it is first
  // read, written or truncated, and a regular file on a disk file system is
  // read without ticks.
  PosixFile(int fd, const struct stat& st)
      : fd_(fd),
        openedLength_(static_cast<uint64_t>(st.st_size)),
        onDisk_(S_ISREG(st.st_mode) && IsOnDiskFileSystem(fd, st.st_dev)) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  // A regular file on a disk file system ends where a read of it falls
  // short; any other file is read until it says so.
  int Read(void* buffer, size_t count, size_t* bytesRead) override {
    openedLength_.reset();
    std::optional<ReadTicker> ticking;
    if (!onDisk_) ticking.emplace();
    size_t total = 0;
    char* out = static_cast<char*>(buffer);
    while (total < count) {
      const int64_t waitingSince = MonotonicMilliseconds();
      ssize_t n = ::read(fd_, out + total, count - total);
      while (n < 0 && errno == EINTR) {
        if (const int error = BlockedReadError(waitingSince)) {
          *bytesRead = total;
          return error;
        }
        n = ::read(fd_, out + total, count - total);
      }
      if (n < 0) {
        *bytesRead = total;
        return LastError();
      }
      if (n == 0) break;
      total += static_cast<size_t>(n);
      if (onDisk_ && total < count) break;
    }
    *bytesRead = total;
    return 0;
  }

  // Every 8 MiB written starts the write-back of the file's dirty pages, so
  // that the disk works while the program does and a later Sync (an
  // archive's commit) finds little left to wait for.
  int Write(const void* buffer, size_t count) override {
    openedLength_.reset();
    const char* in = static_cast<const char*>(buffer);
    while (count > 0) {
      ssize_t n = ::write(fd_, in, count);
      if (n < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      if (n == 0) return ENOSPC;
      in += n;
      count -= static_cast<size_t>(n);
      notWrittenBack_ += static_cast<uint64_t>(n);
    }
    if (notWrittenBack_ >= kWriteBackEvery) {
      ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);  // a hint: its failure changes nothing
      notWrittenBack_ = 0;
    }
    return 0;
  }

  int Seek(int64_t offset, int origin, uint64_t* newPosition) override {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (result < 0) return LastError();
    if (newPosition != nullptr) *newPosition = static_cast<uint64_t>(result);
    return 0;
  }

  int Truncate(uint64_t length) override {
    openedLength_.reset();
    return ::ftruncate(fd_, static_cast<off_t>(length)) == 0 ? 0 : LastError();
  }

  int Length(uint64_t* length) override {
    if (openedLength_) {
      *length = *openedLength_;
      return 0;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) return LastError();
    *length = static_cast<uint64_t>(st.st_size);
    return 0;
  }

  int Sync() override { return ::fsync(fd_) == 0 || errno == EINVAL ? 0 : LastError(); }

  int Close() override {
    if (fd_ < 0) return 0;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : LastError();
  }

 private:
  int fd_;
  std::optional<uint64_t> openedLength_;  // the length the open saw, until it may have moved
  bool onDisk_ = false;                   // a regular file on a disk file system
  static constexpr uint64_t kWriteBackEvery = 8u << 20;
  uint64_t notWrittenBack_ = 0;  // bytes written since write-back was last started
};

class PosixDirectoryReader : public DirectoryReader {
 public:
  PosixDirectoryReader(DIR* dir, std::string path) : dir_(dir), path_(std::move(path)) {}
  ~PosixDirectoryReader() override { ::closedir(dir_); }

  bool NextOfKinds(DirEntry* entry, unsigned kinds) override {
    for (;;) {
      errno = 0;
      struct dirent* d = ::readdir(dir_);
      if (d == nullptr) {
        Note(errno);
        return false;
      }
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      if (!MayBeOfKinds(d->d_type, kinds)) continue;
      if (Describe(d->d_name, entry) && (KindOf(entry->info) & kinds) != 0) return true;
    }
  }

  void Rewind() override { ::rewinddir(dir_); }

  bool IsArchiveBitSet(const DirEntry& entry) override {
    char value[kStampReadCapacity];
    const ssize_t n = ReadArchivedStampAt(::dirfd(dir_), path_, entry.name.c_str(), value);
    return !ArchiveStamp::Matches(value, n, {path_, "/", entry.name}, entry.info);
  }

  int Error() const override { return error_; }

 private:
  // Keeps the first error; an entry removed since it was listed is none.
  void Note(int error) {
    if (error_ == 0 && error != 0 && error != ENOENT) error_ = error;
  }

  // What the listing's own type field allows, before any stat. FIFOs, sockets
  // and devices are never returned; a symbolic link, or a type the file system
  // does not report, needs a stat to tell.
  static bool MayBeOfKinds(unsigned char type, unsigned kinds) {
    switch (type) {
      case DT_REG: return (kinds & KindFile) != 0;
      case DT_DIR: return (kinds & KindDirectory) != 0;
      case DT_LNK:
      case DT_UNKNOWN: return true;
      default: return false;
    }
  }

  static unsigned KindOf(const FileInfo& info) {
    if (info.isDirectory) return KindDirectory;
    return info.isRegular ? KindFile : 0u;
  }

  bool Describe(const char* name, DirEntry* entry) {
    struct stat linkStat;
    // An entry that cannot be looked at (a folder that can be read but not
    // searched) is left out, and the listing says so.
    if (::fstatat(::dirfd(dir_), name, &linkStat, AT_SYMLINK_NOFOLLOW) != 0) {
      Note(errno);
      return false;
    }
    struct stat st = linkStat;
    bool isLink = S_ISLNK(linkStat.st_mode);
    // A dangling link (or a loop) is passed over; one whose file cannot be
    // reached is left out and said so.
    if (isLink && ::fstatat(::dirfd(dir_), name, &st, 0) != 0) {
      if (errno != ENOTDIR && errno != ELOOP) Note(errno);
      return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return false;
    entry->name = name;
    entry->info = InfoFromStat(st);
    entry->info.isSymlink = isLink;
    uint32_t attributes = 0;
    if (entry->info.isDirectory) attributes |= AttrDirectory;
    if (name[0] == '.') attributes |= AttrHidden;
    if (!entry->info.ownerWritable) attributes |= AttrReadOnly;
    entry->attributes = attributes;
    return true;
  }

  DIR* dir_;
  std::string path_;
  int error_ = 0;  // see Error()
};

class PosixEnv : public Env {
 public:
  int OpenFile(const std::string& path, OpenMode mode, std::unique_ptr<File>* file) override {
    int fd = -1;
    struct stat st;
    int error = OpenDescriptor(path, mode, true, &fd, &st);
    if (error == 0) file->reset(new PosixFile(fd, st));
    return error;
  }

  int OpenLocked(const std::string& path, OpenMode mode, LockKind lock,
                 std::unique_ptr<File>* file) override {
    // A file renamed over `path` between the open and the lock is opened again;
    // a few rounds are plenty, as only a committing writer renames.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      int fd = -1;
      struct stat st;
      int error = OpenDescriptor(path, mode, false, &fd, &st);
      if (error != 0) return error;
      error = LockDescriptor(fd, lock);
      if (error == 0 && !NamesDescriptor(path, fd)) error = ESTALE;
      if (error == 0 && mode == OpenMode::CreateReadWrite && ::ftruncate(fd, 0) != 0) {
        error = LastError();
      }
      if (error == 0) {
        file->reset(new PosixFile(fd));
        return 0;
      }
      ::close(fd);
      if (error != ESTALE) return error;
    }
    return EWOULDBLOCK;
  }

  int CreateTempFile(const std::string& directory, const std::string& prefix,
                     std::string* path) override {
    std::string pattern = directory.empty() ? std::string(".") : directory;
    if (pattern.back() != '/') pattern += '/';
    pattern += prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return LastError();
    ::close(fd);
    *path = name.data();
    return 0;
  }

  std::string TempDirectory() override {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
  }

  std::string CurrentDirectory() override {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return ".";
      buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
  }

  std::string ExecutableDirectory() override {
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return "";
    return DirectoryOf(std::string(buffer.data(), static_cast<size_t>(n)));
  }

  int ReplaceProcess(const std::string& path, char* const arguments[]) override {
    ::execv(path.c_str(), arguments);
    return errno;
  }

  uint64_t FreeSpace(const std::string& path) override {
    struct statvfs vfs;
    if (::statvfs(path.c_str(), &vfs) != 0) return 0;
    return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  }

  int Stat(const std::string& path, FileInfo* info) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return LastError();
    *info = InfoFromStat(st);
    struct stat linkStat;
    info->isSymlink = ::lstat(path.c_str(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode);
    return 0;
  }

  int OpenDirectory(const std::string& path, std::unique_ptr<DirectoryReader>* reader) override {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return LastError();
    reader->reset(new PosixDirectoryReader(dir, path));
    return 0;
  }

  int CreateDirectory(const std::string& path) override {
    return ::mkdir(path.c_str(), 0755) == 0 ? 0 : LastError();
  }

  int RemoveFile(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : LastError();
  }

  int RemoveDirectory(const std::string& path) override {
    return ::rmdir(path.c_str()) == 0 ? 0 : LastError();
  }

  int RenameFile(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastError();
  }

  int LinkFile(const std::string& from, const std::string& to) override {
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : LastError();
  }

  int SyncDirectory(const std::string& path) override {
    int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : LastError();
    ::close(fd);
    return error;
  }

  int SetModificationTime(const std::string& path, int64_t seconds) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : LastError();
  }

  int SetPermissions(const std::string& path, uint32_t mode) override {
    return ::chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) == 0 ? 0 : LastError();
  }

  bool IsArchiveBitSet(const std::string& path, const FileInfo& info) override {
    char value[kStampReadCapacity];
    return !ArchiveStamp::Matches(
        value, ::getxattr(path.c_str(), kArchivedAttribute, value, sizeof value), {path}, info);
  }

  // A change made after the file was listed, even one that set its time
  // back, moves its status change time: such a file must be taken again,
  // and a stamp written now would hide the change.
  int MarkArchived(const std::string& path, const FileInfo& seen) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return LastError();
    const FileInfo now = InfoFromStat(st);
    if (S_ISLNK(st.st_mode) || !IsSameFile(now, seen) || !IsSameState(now, seen)) return ESTALE;
    char stamp[ArchiveStamp::kCapacity];
    const size_t length = ArchiveStamp::Format(path, seen, RealTimeNanoseconds(), stamp);
    if (::lsetxattr(path.c_str(), kArchivedAttribute, stamp, length, 0) != 0) {
      return LastError();
    }
    return 0;
  }

  int WriteFileAtomically(const std::string& path, const std::string& contents) override {
    std::string tempPath;
    int error = CreateTempFile(DirectoryOf(path), ".arkivault-", &tempPath);
    if (error != 0) return error;
    error = WriteAndSync(tempPath, contents, path);
    if (error == 0) error = RenameFile(tempPath, path);
    if (error != 0) ::unlink(tempPath.c_str());
    return error;
  }

  int CreateExclusive(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return LastError();
    ::close(fd);
    return 0;
  }

  int OpenOwnFile(const std::string& path, bool createNew, const LockKind* lock,
                  std::unique_ptr<File>* file) override {
    int error = CheckDirectoryLinks(DirectoryOf(path));
    // A file renamed over `path` between the open and the lock is opened again.
    constexpr int kAttempts = 8;
    for (int attempt = 0; error == 0 && attempt < kAttempts; ++attempt) {
      // O_NONBLOCK: a FIFO or device planted at `path` is refused, never waited on.
      const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                        (createNew ? O_CREAT | O_EXCL : 0);
      const int fd = ::open(path.c_str(), flags, 0600);
      if (fd < 0) return LastError();
      error = CheckOwnRegularFile(fd);
      if (error == 0 && lock != nullptr) {
        error = LockDescriptor(fd, *lock);
        if (error == 0 && !NamesDescriptorItself(path, fd)) error = createNew ? EEXIST : ESTALE;
      }
      if (error == 0) {
        file->reset(new PosixFile(fd));
        return 0;
      }
      ::close(fd);
      if (error == ESTALE) error = 0;
    }
    return error != 0 ? error : EWOULDBLOCK;
  }

  int LinkStat(const std::string& path, FileInfo* info) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return LastError();
    *info = InfoFromStat(st);
    info->isSymlink = S_ISLNK(st.st_mode);
    return 0;
  }

  bool IsPseudoFileSystem(const std::string& path) override {
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0) return false;
    static const unsigned long kPseudoTypes[] = {
        0x9fa0,      // proc
        0x62656572,  // sysfs
        0x1cd1,      // devpts
        0x64626720,  // debugfs
        0x74726163,  // tracefs
        0x27e0eb,    // cgroup
        0x63677270,  // cgroup2
        0x73636673,  // securityfs
        0x6165676c,  // pstore
        0xcafe4a11,  // bpf
        0x62656570,  // configfs
        0x65735543,  // fusectl
        0x19800202,  // mqueue
        0xf97cff8c,  // selinuxfs
        0x42494e4d,  // binfmt_misc
        0x6e736673,  // nsfs
        0x50495045,  // pipefs
        0x534f434b,  // sockfs
        0xde5e81e4,  // efivarfs
        0x67596969,  // rpc_pipefs
        0x1373,      // devfs (devtmpfs reports tmpfs's number; its devices are never read)
    };
    const unsigned long type = static_cast<unsigned long>(fs.f_type) & 0xffffffffUL;
    for (const unsigned long pseudo : kPseudoTypes) {
      if (type == pseudo) return true;
    }
    return false;
  }

  int AppendLine(const std::string& path, const std::string& line) override {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return LastError();
    std::string data = line;
    struct stat st;
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n') {
      data.insert(data.begin(), '\n');
    }
    ssize_t written;
    do {
      written = ::write(fd, data.data(), data.size());
    } while (written < 0 && errno == EINTR);
    int error = 0;
    if (written < 0) {
      error = LastError();
    } else if (static_cast<size_t>(written) != data.size()) {
      error = ENOSPC;
    }
    ::close(fd);
    return error;
  }

  int WaitForLock(const std::string& path, LockKind lock,
                  std::unique_ptr<File>* holder) override {
    int fd = -1;
    struct stat st;
    int error = OpenDescriptor(path, OpenMode::CreateReadWrite, false, &fd, &st);
    if (error != 0) return error;
    const int operation = lock == LockKind::Exclusive ? LOCK_EX : LOCK_SH;
    while (::flock(fd, operation) != 0) {
      if (errno != EINTR) {
        error = LastError();
        ::close(fd);
        return error;
      }
    }
    holder->reset(new PosixFile(fd));
    return 0;
  }

  // Long enough for a busy file server or a disk spinning up, short enough
  // that a run with a hung mount ends the same hour.
  int ReadTimeoutMilliseconds() override { return 30000; }

  std::string StateDirectory() override {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/state";
    return "";
  }

 private:
  // Opens a descriptor on `path` for `mode` and describes it in `*st`; a
  // directory gives EISDIR. Without `truncate` CreateReadWrite keeps what the
  // file holds.
  static int OpenDescriptor(const std::string& path, OpenMode mode, bool truncate, int* fd,
                            struct stat* st) {
    int flags = O_CLOEXEC;
    switch (mode) {
      // A FIFO planted where a file was expected would block the open itself,
      // where no read watch can end it; its reads are watched as usual.
      case OpenMode::ReadOnly: flags |= O_RDONLY | O_NONBLOCK; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::CreateReadWrite: flags |= O_RDWR | O_CREAT | (truncate ? O_TRUNC : 0); break;
    }
    *fd = ::open(path.c_str(), flags, 0600);
    if (*fd < 0) return LastError();
    if (::fstat(*fd, st) != 0) {
      const int error = LastError();
      ::close(*fd);
      return error;
    }
    if (S_ISDIR(st->st_mode)) {
      ::close(*fd);
      return EISDIR;
    }
    if ((flags & O_NONBLOCK) != 0 && !S_ISREG(st->st_mode)) {
      ::fcntl(*fd, F_SETFL, ::fcntl(*fd, F_GETFL) & ~O_NONBLOCK);
    }
    return 0;
  }

  static int LockDescriptor(int fd, LockKind lock) {
    const int operation = (lock == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    while (::flock(fd, operation) != 0) {
      if (errno != EINTR) return errno == EWOULDBLOCK ? EWOULDBLOCK : LastError();
    }
    return 0;
  }

  // True when `path` still names the file open on `fd`.
  static bool NamesDescriptor(const std::string& path, int fd) {
    struct stat byPath;
    struct stat byDescriptor;
    return ::stat(path.c_str(), &byPath) == 0 && ::fstat(fd, &byDescriptor) == 0 &&
           byPath.st_dev == byDescriptor.st_dev && byPath.st_ino == byDescriptor.st_ino;
  }

  // EPERM unless `fd` is a regular file owned by the running user.
  static int CheckOwnRegularFile(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return LastError();
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() ? 0 : EPERM;
  }

  // True when `path` itself, not a link there, is the file open on `fd`.
  static bool NamesDescriptorItself(const std::string& path, int fd) {
    struct stat byPath;
    struct stat byDescriptor;
    return ::lstat(path.c_str(), &byPath) == 0 && ::fstat(fd, &byDescriptor) == 0 &&
           byPath.st_dev == byDescriptor.st_dev && byPath.st_ino == byDescriptor.st_ino;
  }

  // ELOOP when a directory on `directory` (made absolute) is a symbolic link
  // owned by neither the running user nor root: another account could point
  // it anywhere.
  int CheckDirectoryLinks(const std::string& directory) {
    const std::string absolute =
        !directory.empty() && directory[0] == '/' ? directory : CurrentDirectory() + "/" + directory;
    for (std::string::size_type slash = absolute.find('/', 1);; slash = absolute.find('/', slash + 1)) {
      const std::string prefix = absolute.substr(0, slash);
      struct stat st;
      if (::lstat(prefix.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != ::geteuid() &&
          st.st_uid != 0) {
        return ELOOP;
      }
      if (slash == std::string::npos) break;
    }
    return 0;
  }

  // Writes `contents` to the temporary file and gives it the mode that the file
  // it replaces has (0644 for a new one).
  int WriteAndSync(const std::string& tempPath, const std::string& contents,
                   const std::string& finalPath) {
    std::unique_ptr<File> file;
    int error = OpenFile(tempPath, OpenMode::ReadWrite, &file);
    if (error != 0) return error;
    error = file->Write(contents.data(), contents.size());
    if (error == 0) error = file->Sync();
    int closeError = file->Close();
    if (error == 0) error = closeError;
    if (error != 0) return error;
    struct stat st;
    mode_t mode = ::stat(finalPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    return ::chmod(tempPath.c_str(), mode) == 0 ? 0 : LastError();
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

namespace {
std::atomic<Env*> installedEnv{nullptr};
}  // namespace

Env* Env::Current() {
  Env* env = installedEnv.load();
  return env != nullptr ? env : Default();
}

void Env::Install(Env* env) { installedEnv.store(env); }

std::string ErrorText(int error) {
  char buffer[256];
  return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace platform
