#include "engine/SourceWalker.h"

#include <algorithm>

#include "engine/DirEnumerator.h"
#include "engine/ListingAhead.h"
#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"

SourceWalker::SourceWalker(const BackupJob& job, bool fullBackup,
                           std::function<bool()> shouldStop, SourceWalkActions& actions)
    : sourceRoot_(job.SourceRootPath),
      fullBackup_(fullBackup),
      shouldStop_(std::move(shouldStop)),
      actions_(actions),
      selection_(job) {
  if (!fullBackup_) {
    ahead_ = std::make_unique<ListingAhead>(
        FileFlags(), [this](const std::string& name) { return selection_.IsFileNameSelected(name); });
  }
}

SourceWalker::~SourceWalker() = default;

bool SourceWalker::BackupDirectory(const std::string& relativeDir) {
  return Walk(relativeDir, "");
}

// `nextDirectory`, when not empty, is the sibling directory the walk visits
// after this one and its subtree: unless this one was listed ahead, that one
// is listed ahead on the other thread while this one is listed here.
bool SourceWalker::Walk(const std::string& relativeDir, const std::string& nextDirectory) {
  const std::string directory = JoinPath(sourceRoot_, relativeDir);
  const std::string& named = relativeDir.empty() ? sourceRoot_ : directory;  // without a '/' added
  // A listing made ahead was only made of a directory on a disk-backed file system.
  std::unique_ptr<DirEnumerator> enumerator = ahead_ ? ahead_->Take(directory) : nullptr;
  if (enumerator == nullptr) {
    if (ahead_ && !nextDirectory.empty()) ahead_->Begin(nextDirectory);
    if (platform::Env::Current()->IsPseudoFileSystem(ToNativeSeparators(directory))) {
      actions_.FolderNotDiskBacked(named);
      return true;
    }
    enumerator = std::make_unique<DirEnumerator>(directory);
  }
  std::vector<std::string> subdirectories;
  // One enumerator lists the directory twice: files, then subdirectories. It
  // is closed before the walk descends.
  if (!BackupFiles(relativeDir, *enumerator)) return false;
  if (const int error = enumerator->ListError()) {
    actions_.FolderUnreadable(named, error);
    return true;
  }
  if (!ListSubdirectories(directory, *enumerator, &subdirectories)) return false;
  // Entries that could not be looked at are missing from the archive.
  if (const int error = enumerator->MissedError()) actions_.FolderUnreadable(named, error);
  enumerator.reset();
  for (size_t i = 0; i < subdirectories.size(); ++i) {
    if (!actions_.EnterSubdirectory(relativeDir, subdirectories[i])) return false;
    const std::string next = ahead_ && i + 1 < subdirectories.size()
                                 ? JoinPath(sourceRoot_, JoinPath(relativeDir, subdirectories[i + 1]))
                                 : std::string();
    if (!Walk(JoinPath(relativeDir, subdirectories[i]), next)) return false;
  }
  return true;
}

int SourceWalker::FileFlags() const {
  int flags = DirEnumerator::EnumFiles;
  if (!selection_.ExcludeHiddenFiles()) flags |= DirEnumerator::EnumHidden;
  return flags;
}

bool SourceWalker::BackupFiles(const std::string& relativeDir, DirEnumerator& enumerator) {
  const int flags = FileFlags();
  std::string name;
  for (bool more = enumerator.GetFirst(&name, "", flags); more; more = enumerator.GetNext(&name)) {
    if (StopRequested()) return false;
    if (!IsFileTaken(name, enumerator)) continue;
    if (!Add(relativeDir, name, enumerator)) return false;
  }
  return true;
}

// The names of the subdirectories to enter, in listing order.
bool SourceWalker::ListSubdirectories(const std::string& directory, DirEnumerator& enumerator,
                                      std::vector<std::string>* names) {
  int flags = DirEnumerator::EnumDirs;
  if (!selection_.ExcludeHiddenDirs()) flags |= DirEnumerator::EnumHidden;
  std::string name;
  for (bool more = enumerator.GetFirst(&name, "", flags); more; more = enumerator.GetNext(&name)) {
    if (StopRequested()) return false;
    if (IsDirectoryEntered(directory, name, enumerator.LastEntryInfo())) names->push_back(name);
  }
  return true;
}

// The name is tested first: the archive attribute costs a stamp read, which
// only an incremental run needs, and only for files whose name is selected.
bool SourceWalker::IsFileTaken(const std::string& name, const DirEnumerator& enumerator) const {
  return selection_.IsFileNameSelected(name) && (fullBackup_ || enumerator.HasArchiveAttribute());
}

uint32_t SourceFile::Attributes() const { return listing.Attributes(); }

// Hands the file to the archive side as it was listed. Any exception stops
// the walk.
bool SourceWalker::Add(const std::string& relativeDir, const std::string& name,
                       const DirEnumerator& enumerator) {
  try {
    actions_.AddSourceFile(SourceFile{relativeDir, name, enumerator.LastEntryInfo(), enumerator});
  } catch (...) {
    return false;
  }
  return true;
}

// A symbolic link to a directory is never entered: it could loop or lead out
// of the source tree. Nor is a directory the run writes its archives to.
bool SourceWalker::IsDirectoryEntered(const std::string& directory, const std::string& name,
                                      const platform::FileInfo& info) const {
  const auto isSkipped = [&info](const platform::FileInfo& skipped) {
    return platform::IsSameFile(skipped, info);
  };
  return !info.isSymlink && selection_.MatchesIncludeDirPattern(name) &&
         !selection_.IsDirectoryExcluded(JoinPath(directory, name), name) &&
         std::none_of(skippedDirectories_.begin(), skippedDirectories_.end(), isSkipped);
}

void SourceWalker::SkipDirectory(const platform::FileInfo& identity) {
  skippedDirectories_.push_back(identity);
}

bool SourceWalker::StopRequested() const { return shouldStop_ && shouldStop_(); }
