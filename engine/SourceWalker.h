// The walk over a job's source tree: each directory's files first, then its
// subdirectories, depth first, each subdirectory completely before the next.
// Selected files and entered subdirectories are handed to the archive side
// through SourceWalkActions; cancellation is tested before every entry. The
// walk stamps nothing: the archive side stamps a stored file once the archive
// holding it has been committed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/SourceSelection.h"
#include "platform/Env.h"

class BackupJob;
class DirEnumerator;
class ListingAhead;

// One file the walk selected, as it was listed: what the archive side needs
// to store it and, once its archive is committed, to stamp it.
struct SourceFile {
  const std::string& relativeDir;  // relative to the source root, "" for the root
  const std::string& name;
  const platform::FileInfo& seen;  // its state when listed, before it was read
  const DirEnumerator& listing;    // the listing that returned it, still at it

  // Its platform::FileAttribute bits, AttrArchive included. The archive bit
  // costs a stamp read, made on the first call (if the walk has not made it
  // already), so a side that never asks pays nothing.
  uint32_t Attributes() const;
};

// What the walk asks of the archive side.
class SourceWalkActions {
 public:
  virtual ~SourceWalkActions() = default;

  // Adds a selected file. True when it was stored, false when the archive
  // refused it. An exception stops the walk (it then returns false).
  virtual bool AddSourceFile(const SourceFile& file) = 0;

  // Called for an entered subdirectory `name` of `relativeDir` before the walk
  // descends into it; its relative path is JoinPath(relativeDir, name). Return
  // false to stop the walk (it then returns false). Exceptions are not caught
  // by the walk: they reach its caller.
  virtual bool EnterSubdirectory(const std::string& relativeDir, const std::string& name) = 0;

  // The folder `directory` could not be listed (`error`, an errno value) and
  // contributes nothing, or its listing left out entries it could not look
  // at; the walk goes on.
  virtual void FolderUnreadable(const std::string& directory, int error) = 0;

  // The folder `directory` lies on a file system without disk-backed files
  // (proc, sysfs, ...) and is not entered; the walk goes on.
  virtual void FolderNotDiskBacked(const std::string& directory) = 0;
};

class SourceWalker {
 public:
  // `shouldStop` is asked before every directory entry; true cancels the walk.
  // The job and the actions must outlive the walker.
  SourceWalker(const BackupJob& job, bool fullBackup, std::function<bool()> shouldStop,
               SourceWalkActions& actions);
  ~SourceWalker();

  // Visits the directory `relativeDir` (relative to the source root, "" for
  // the root) and everything below it. True when all was visited; false when
  // the walk was cancelled or an action stopped it. A directory that cannot be
  // listed is logged, handed to FolderUnreadable and contributes nothing (one
  // whose listing left out entries it could not look at is handed to
  // FolderUnreadable after its other entries are visited); one
  // on a pseudo file system is handed to FolderNotDiskBacked and not entered.
  // Only a few directories are open at a time, however deep the tree: the
  // one walked and, in a run that reads archived stamps, the few that every
  // other sibling directory's listing ahead on a second thread holds open
  // (see ListingAhead).
  bool BackupDirectory(const std::string& relativeDir);

  // Never enters the directory that `identity` names (by device and inode,
  // whatever path leads to it): where the run's own archives go.
  void SkipDirectory(const platform::FileInfo& identity);

 private:
  bool Walk(const std::string& relativeDir, const std::string& nextDirectory);
  bool BackupFiles(const std::string& relativeDir, DirEnumerator& enumerator);
  bool ListSubdirectories(const std::string& directory, DirEnumerator& enumerator,
                          std::vector<std::string>* names);
  int FileFlags() const;
  bool IsFileTaken(const std::string& name, const DirEnumerator& enumerator) const;
  bool Add(const std::string& relativeDir, const std::string& name,
           const DirEnumerator& enumerator);
  bool IsDirectoryEntered(const std::string& directory, const std::string& name,
                          const platform::FileInfo& info) const;
  bool StopRequested() const;

  std::string sourceRoot_;
  bool fullBackup_;
  std::function<bool()> shouldStop_;
  SourceWalkActions& actions_;
  SourceSelection selection_;
  std::vector<platform::FileInfo> skippedDirectories_;
  std::unique_ptr<ListingAhead> ahead_;  // only where archived stamps are read
};
