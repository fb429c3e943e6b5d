#include "engine/SourceWalker.h"

#include "engine/DirEnumerator.h"
#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"

SourceWalker::SourceWalker(const BackupJob& job, bool fullBackup,
                           std::function<bool()> shouldStop, SourceWalkActions& actions)
    : sourceRoot_(job.SourceRootPath),
      fullBackup_(fullBackup),
      shouldStop_(std::move(shouldStop)),
      actions_(actions),
      selection_(job) {}

bool SourceWalker::BackupDirectory(const std::string& relativeDir) {
  const std::string directory = JoinPath(sourceRoot_, relativeDir);
  // One enumerator lists the directory twice: files, then subdirectories.
  DirEnumerator enumerator(directory);
  return BackupFiles(relativeDir, directory, enumerator) &&
         BackupSubdirectories(relativeDir, directory, enumerator);
}

bool SourceWalker::BackupFiles(const std::string& relativeDir, const std::string& directory,
                               DirEnumerator& enumerator) {
  int flags = DirEnumerator::EnumFiles;
  if (!selection_.ExcludeHiddenFiles()) flags |= DirEnumerator::EnumHidden;
  std::string name;
  for (bool more = enumerator.GetFirst(&name, "", flags); more; more = enumerator.GetNext(&name)) {
    if (StopRequested()) return false;
    if (!IsFileTaken(name, enumerator)) continue;
    if (!AddAndClear(relativeDir, directory, name, enumerator)) return false;
  }
  return true;
}

bool SourceWalker::BackupSubdirectories(const std::string& relativeDir,
                                        const std::string& directory, DirEnumerator& enumerator) {
  int flags = DirEnumerator::EnumDirs;
  if (!selection_.ExcludeHiddenDirs()) flags |= DirEnumerator::EnumHidden;
  std::string name;
  for (bool more = enumerator.GetFirst(&name, "", flags); more; more = enumerator.GetNext(&name)) {
    if (StopRequested()) return false;
    if (!IsDirectoryEntered(directory, name, enumerator.LastEntryInfo())) continue;
    if (!actions_.EnterSubdirectory(relativeDir, name)) return false;
    if (!BackupDirectory(JoinPath(relativeDir, name))) return false;
  }
  return true;
}

// The name is tested first: the archive attribute costs a stamp read, which
// only an incremental run needs, and only for files whose name is selected.
bool SourceWalker::IsFileTaken(const std::string& name, const DirEnumerator& enumerator) const {
  return selection_.IsFileNameSelected(name) && (fullBackup_ || enumerator.HasArchiveAttribute());
}

// Adds the file and, once it is stored, stamps the state it had when listed
// if it had the archive attribute. A file already stamped for that state is
// not stamped again: rewriting the same value would still change its inode
// change time, which other tools read as a change. Any exception stops the walk.
bool SourceWalker::AddAndClear(const std::string& relativeDir, const std::string& directory,
                               const std::string& name, const DirEnumerator& enumerator) {
  const platform::FileInfo& seen = enumerator.LastEntryInfo();
  try {
    if (actions_.AddSourceFile(relativeDir, name, seen) && enumerator.HasArchiveAttribute()) {
      ClearArchiveAttribute(JoinPath(directory, name), seen);
    }
  } catch (...) {
    return false;
  }
  return true;
}

// A symbolic link to a directory is never entered: it could loop or lead out
// of the source tree.
bool SourceWalker::IsDirectoryEntered(const std::string& directory, const std::string& name,
                                      const platform::FileInfo& info) const {
  return !info.isSymlink && selection_.MatchesIncludeDirPattern(name) &&
         !selection_.IsDirectoryExcluded(JoinPath(directory, name), name);
}

bool SourceWalker::StopRequested() const { return shouldStop_ && shouldStop_(); }
