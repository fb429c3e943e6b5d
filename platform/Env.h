// The one interface between Arkivault and the operating system.
//
// Every file-system call of the ZIP writer, the backup engine and the job store
// goes through an Env. `Env::Default()` is the POSIX implementation; tests wrap it
// (see tests/support/FaultEnv.h) to inject failures such as a full disk.
//
// Conventions: paths are UTF-8 with '/' as separator. Operations that can fail
// return 0 on success and an errno value (ENOENT 2, EACCES 13, ENOSPC 28, ...)
// on failure, so callers can report the operating system's own error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Attribute word synthesised for directory entries, with the bit values of the
// attribute word that archives and the selection rules use.
enum FileAttribute : uint32_t {
  AttrReadOnly = 0x01,   // the owner has no write permission
  AttrHidden = 0x02,     // the name starts with '.'
  AttrSystem = 0x04,     // never set on Linux
  AttrDirectory = 0x10,  // a directory (or a symlink to one)
  AttrArchive = 0x20,    // changed since it was last stored (see IsArchiveBitSet)
};

// Kinds of directory entry a listing can be asked for (bits).
enum EntryKind : unsigned {
  KindFile = 1,       // a regular file, or a symbolic link to one
  KindDirectory = 2,  // a directory, or a symbolic link to one
  KindAny = KindFile | KindDirectory,
};

// What stat(2) says about a path, following symbolic links.
struct FileInfo {
  bool isDirectory = false;
  bool isRegular = false;
  bool isSymlink = false;       // the path itself is a symbolic link
  bool ownerWritable = true;
  uint32_t mode = 0;            // st_mode: file type and permission bits
  uint64_t size = 0;
  int64_t mtimeSeconds = 0;     // modification time, seconds since the epoch
  int32_t mtimeNanoseconds = 0;
  uint64_t device = 0;          // device and inode: together they name the file
  uint64_t inode = 0;           // whatever path reaches it
  int64_t ctimeSeconds = 0;     // status change time: moved by every change, never set back
  int32_t ctimeNanoseconds = 0;
};

// `a` and `b` describe the same file (or directory), by device and inode.
inline bool IsSameFile(const FileInfo& a, const FileInfo& b) {
  return a.device == b.device && a.inode == b.inode;
}

// `a` and `b` show a file in one state: the same size, modification time and
// status change time (which also moves when an edit sets the time back).
inline bool IsSameState(const FileInfo& a, const FileInfo& b) {
  return a.size == b.size && a.mtimeSeconds == b.mtimeSeconds &&
         a.mtimeNanoseconds == b.mtimeNanoseconds && a.ctimeSeconds == b.ctimeSeconds &&
         a.ctimeNanoseconds == b.ctimeNanoseconds;
}

// One entry of a directory listing.
struct DirEntry {
  std::string name;             // the bare name, never "." or ".."
  // FileAttribute bits, except AttrArchive: a listing does not read archived
  // stamps, which costs a call per file; ask the reader's IsArchiveBitSet.
  uint32_t attributes = 0;
  FileInfo info;                // of the entry's target, as seen when listed
};

// An open file: a position and reads and writes at it.
class File {
 public:
  virtual ~File() = default;

  // Reads up to `count` bytes at the current position into `buffer` and sets
  // `*bytesRead` to what was read: fewer than asked only at the end of the file
  // or with an error. A read that waits for data is given up with ETIME
  // ("Timer expired") after Env::ReadTimeoutMilliseconds of the current Env,
  // and with EINTR once a termination signal has come (see TerminationSignals).
  // A regular file on a local disk or in memory is read without that watch:
  // its reads wait only for the device, in a sleep no signal cuts short.
  virtual int Read(void* buffer, size_t count, size_t* bytesRead) = 0;

  // Writes all `count` bytes at the current position. A write that cannot
  // place every byte returns the error (ENOSPC for a full disk).
  virtual int Write(const void* buffer, size_t count) = 0;

  // Moves the position: `origin` 0 from the start, 1 from the current
  // position, 2 from the end. Sets `*newPosition` when it is not null.
  virtual int Seek(int64_t offset, int origin, uint64_t* newPosition) = 0;

  // Sets the file's length: truncates or extends with zeros.
  virtual int Truncate(uint64_t length) = 0;

  // The file's current length. A file OpenFile opened answers with the length
  // its open saw (the open looks at the file anyway, to refuse a directory)
  // until it is first read, written or truncated, which spares a call to a
  // caller that asks at once.
  virtual int Length(uint64_t* length) = 0;

  // Forces written data to the device.
  virtual int Sync() = 0;

  // Closes the file; the destructor closes it too, ignoring errors.
  virtual int Close() = 0;
};

// Streams the entries of one directory. Only regular files and directories are
// returned; a symbolic link to a regular file is returned as that file, one to a
// directory is returned with isSymlink set so callers can refuse to enter it.
// FIFOs, sockets, devices and dangling links are skipped, so nothing listed can
// block when it is opened.
class DirectoryReader {
 public:
  virtual ~DirectoryReader() = default;

  // Fills `*entry` with the next entry whose kind is one of `kinds` (EntryKind
  // bits) and returns true, or returns false at the end. Entries of other kinds
  // are passed over without a stat where the listing itself tells their kind
  // (regular files and directories on most file systems; a symbolic link is
  // always followed to learn the kind of its target).
  virtual bool NextOfKinds(DirEntry* entry, unsigned kinds) = 0;

  // The next entry of any kind, as NextOfKinds.
  bool Next(DirEntry* entry) { return NextOfKinds(entry, KindAny); }

  // Starts the listing again from its first entry, reading the directory
  // afresh, so entries made since it was opened are seen.
  virtual void Rewind() = 0;

  // Env::IsArchiveBitSet for `entry`, an entry this reader returned. The stamp
  // is looked up relative to the open directory where the system allows it,
  // which spares resolving the whole path once per file.
  virtual bool IsArchiveBitSet(const DirEntry& entry) = 0;

  // The first reason (an errno value) the listing left something out since
  // the reader was opened: an entry that could not be looked at (one removed
  // meanwhile excepted) or a read of the directory that failed. 0 when none.
  virtual int Error() const = 0;
};

enum class OpenMode {
  ReadOnly,         // an existing file, for reading
  ReadWrite,        // an existing file, for reading and writing, kept as it is
  CreateReadWrite,  // created with mode 0600 or truncated, for reading and writing
};

// The advisory lock OpenLocked takes.
enum class LockKind {
  Shared,     // readers: any number at once, but no writer
  Exclusive,  // one writer, and no reader that asked for a lock
};

class Env {
 public:
  virtual ~Env() = default;

  // The POSIX implementation, shared by the whole process.
  static Env* Default();

  // The Env that the program uses: Default() unless a test installed another.
  // Subsystems always ask Current() rather than holding an Env of their own.
  static Env* Current();

  // Makes `env` the current Env (nullptr restores Default()). The caller keeps
  // ownership and must keep it alive while it is installed.
  static void Install(Env* env);

  // Opens `path`. The file is returned in `*file`.
  virtual int OpenFile(const std::string& path, OpenMode mode,
                       std::unique_ptr<File>* file) = 0;

  // Opens `path` as OpenFile does and takes an advisory lock on it without
  // waiting (flock(2)), held until the file is closed. Returns EWOULDBLOCK at
  // once when another open of the file holds a conflicting lock, also in this
  // process. The lock is on the file that `path` names once it is held (a file
  // renamed over `path` meanwhile is opened again), and CreateReadWrite
  // truncates only then, so a writer never cuts a file another one holds.
  virtual int OpenLocked(const std::string& path, OpenMode mode, LockKind lock,
                         std::unique_ptr<File>* file) = 0;

  // Creates a new, empty file with mode 0600 and a unique name made of `prefix`
  // and random characters in `directory`, and returns its path in `*path`.
  virtual int CreateTempFile(const std::string& directory, const std::string& prefix,
                             std::string* path) = 0;

  // The system's directory for temporary files: $TMPDIR if set, else "/tmp".
  virtual std::string TempDirectory() = 0;

  // The process's current working directory.
  virtual std::string CurrentDirectory() = 0;

  // The directory that holds the running executable ("" if unknown).
  virtual std::string ExecutableDirectory() = 0;

  // Replaces this process by the program at `path`, started with `arguments`
  // (its name first, then a null pointer). Returns only when that fails, with
  // the errno value.
  virtual int ReplaceProcess(const std::string& path, char* const arguments[]) = 0;

  // Bytes available to this user on the file system that holds `path`; 0 when
  // that cannot be found out.
  virtual uint64_t FreeSpace(const std::string& path) = 0;

  // Information about `path`, following symbolic links.
  virtual int Stat(const std::string& path, FileInfo* info) = 0;

  // Opens `path` for listing.
  virtual int OpenDirectory(const std::string& path,
                            std::unique_ptr<DirectoryReader>* reader) = 0;

  // Creates the directory `path` with mode 0755; its parent must exist.
  // An existing directory gives EEXIST.
  virtual int CreateDirectory(const std::string& path) = 0;

  // Removes a file (not a directory).
  virtual int RemoveFile(const std::string& path) = 0;

  // Removes an empty directory (rmdir(2)); ENOTEMPTY when it holds anything.
  // A symbolic link is never followed: it gives ENOTDIR.
  virtual int RemoveDirectory(const std::string& path) = 0;

  // Renames `from` to `to`, replacing `to` if it exists (rename(2)).
  virtual int RenameFile(const std::string& from, const std::string& to) = 0;

  // Gives the file `from` the second name `to` (link(2)); EEXIST when `to`
  // exists, EPERM, EXDEV or ENOTSUP where the file system has no links.
  virtual int LinkFile(const std::string& from, const std::string& to) = 0;

  // Forces the names in directory `path` (files created, renamed or removed
  // in it) to the device.
  virtual int SyncDirectory(const std::string& path) = 0;

  // Sets the modification time of `path` (seconds since the epoch).
  virtual int SetModificationTime(const std::string& path, int64_t seconds) = 0;

  // Sets the permission bits (07777) of `path`, following symbolic links.
  virtual int SetPermissions(const std::string& path, uint32_t mode) = 0;

  // True when the file changed since it was last stored: it does not carry an
  // archived stamp (see ArchiveStamp) written for this path that still holds
  // for its current state (`info` as returned by Stat or a directory listing).
  virtual bool IsArchiveBitSet(const std::string& path, const FileInfo& info) = 0;

  // Stamps the file at `path` as stored under that path in the state described
  // by `seen`, which must be what was observed before its content was read.
  // A file that is no longer in that state (identity, size, modification or
  // status change time), or is a symbolic link, is not stamped: ESTALE. Does
  // not change the file's modification time. Fails where extended attributes
  // are refused.
  virtual int MarkArchived(const std::string& path, const FileInfo& seen) = 0;

  // Replaces the file `path` by `contents` atomically: the data is written to a
  // temporary file in the same directory, synced, and renamed over `path`, so a
  // failure at any point leaves the previous file as it was. A new file gets
  // mode 0644; an existing file keeps its mode.
  virtual int WriteFileAtomically(const std::string& path, const std::string& contents) = 0;

  // Creates `path` exclusively as an empty file (O_EXCL); EEXIST if it exists.
  // Used to claim a free file name.
  virtual int CreateExclusive(const std::string& path) = 0;

  // Files written in a folder that other accounts may write too (the backup
  // target). A refusal writes nothing and gives ELOOP for a symbolic link,
  // EPERM for anything but a regular file of the running user's own.

  // Opens `path` for reading and writing as a regular file owned by the
  // running user: a symbolic link at `path` is never followed, and a directory
  // on the path that is a symbolic link owned by neither the running user nor
  // root is refused. With `createNew` the file is created with mode 0600 and
  // must not exist yet (EEXIST). A non-null `lock` is taken as OpenLocked
  // takes it, on the file that `path` names once it is held.
  virtual int OpenOwnFile(const std::string& path, bool createNew, const LockKind* lock,
                          std::unique_ptr<File>* file) = 0;

  // Information about `path` itself, not following a symbolic link there
  // (isSymlink set); a dangling link is described too.
  virtual int LinkStat(const std::string& path, FileInfo* info) = 0;

  // True when `path` lies on a file system that holds no disk-backed files
  // (proc, sysfs, devtmpfs, debugfs, tracefs, cgroup, securityfs, ...): its
  // files are made up as they are read and a read may block for ever.
  virtual bool IsPseudoFileSystem(const std::string& path) = 0;

  // Appends `line` (which ends in a newline) to `path`, created with mode 0600
  // when missing, in one write(2) on a descriptor opened with O_APPEND, so the
  // appends of several processes never interleave. When the file does not end
  // in a newline (an append cut short by a crash), a newline goes first, in
  // the same write.
  virtual int AppendLine(const std::string& path, const std::string& line) = 0;

  // Opens `path` (created with mode 0600 when missing) and waits for an
  // advisory lock on it (flock(2)), held until `*holder` is closed.
  virtual int WaitForLock(const std::string& path, LockKind lock,
                          std::unique_ptr<File>* holder) = 0;

  // How long a read of an open file may wait for data before it is given up
  // (File::Read): a network or FUSE file system that stopped answering.
  virtual int ReadTimeoutMilliseconds() = 0;

  // The user's directory for state that outlives a run: $XDG_STATE_HOME when
  // it is an absolute path, else $HOME/.local/state; "" when neither is known.
  virtual std::string StateDirectory() = 0;
};

// The text of an errno value, as strerror gives it.
std::string ErrorText(int error);

}  // namespace platform
