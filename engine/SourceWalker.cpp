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
  return BackupFiles(relativeDir, directory) && BackupSubdirectories(relativeDir, directory);
}

bool SourceWalker::BackupFiles(const std::string& relativeDir, const std::string& directory) {
  DirEnumerator enumerator(directory);
  int flags = DirEnumerator::EnumFiles;
  if (!selection_.ExcludeHiddenFiles()) flags |= DirEnumerator::EnumHidden;
  std::string name;
  for (bool more = enumerator.GetFirst(&name, "", flags); more; more = enumerator.GetNext(&name)) {
    if (StopRequested()) return false;
    const bool hasArchiveAttribute = enumerator.HasArchiveAttribute();
    if (!IsFileTaken(name, hasArchiveAttribute)) continue;
    if (!AddAndClear(relativeDir, directory, name, enumerator.LastEntryInfo(),
                     hasArchiveAttribute)) {
      return false;
    }
  }
  return true;
}

bool SourceWalker::BackupSubdirectories(const std::string& relativeDir,
                                        const std::string& directory) {
  DirEnumerator enumerator(directory);
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

bool SourceWalker::IsFileTaken(const std::string& name, bool hasArchiveAttribute) const {
  return selection_.IsFileNameSelected(name) && (fullBackup_ || hasArchiveAttribute);
}

// Adds the file and, once it is stored, stamps the state it had when listed.
// Any exception stops the walk.
bool SourceWalker::AddAndClear(const std::string& relativeDir, const std::string& directory,
                               const std::string& name, const platform::FileInfo& seen,
                               bool hasArchiveAttribute) {
  try {
    if (actions_.AddSourceFile(relativeDir, name, seen) && hasArchiveAttribute) {
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
