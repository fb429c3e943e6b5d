#include "engine/SourceSelection.h"

#include <algorithm>

#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"

namespace {

// The native form of a directory path without trailing separators, so that
// "Docs/Temp" and "Docs/Temp/" name the same directory. The root "/" stays.
std::string ComparablePath(const std::string& path) {
  std::string native = ToNativeSeparators(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

}  // namespace

SourceSelection::SourceSelection(const BackupJob& job)
    : includeFiles_(job.IncludeFilePatterns),
      excludeFiles_(job.ExcludeFilePatterns),
      includeDirs_(job.IncludeDirPatterns),
      excludeDirs_(job.ExcludeDirPatterns),
      excludeHiddenFiles_(job.ExcludeHiddenFiles),
      excludeHiddenDirs_(job.ExcludeHiddenDirs) {
  for (const std::string& path : job.ExcludePaths) {
    excludedDirectories_.push_back(ComparablePath(JoinPath(job.SourceRootPath, path)));
  }
}

bool SourceSelection::MatchesIncludeFilePattern(const std::string& name) const {
  return includeFiles_.MatchesAny(name);
}

bool SourceSelection::MatchesExcludeFilePattern(const std::string& name) const {
  return excludeFiles_.MatchesAny(name);
}

bool SourceSelection::MatchesIncludeDirPattern(const std::string& name) const {
  return includeDirs_.MatchesAny(name);
}

bool SourceSelection::MatchesExcludeDirPattern(const std::string& name) const {
  return excludeDirs_.MatchesAny(name);
}

bool SourceSelection::IsFileNameSelected(const std::string& name) const {
  return MatchesIncludeFilePattern(name) && !MatchesExcludeFilePattern(name);
}

bool SourceSelection::IsDirectoryExcluded(const std::string& dirPath,
                                          const std::string& name) const {
  const std::string candidate = ComparablePath(dirPath);
  if (std::find(excludedDirectories_.begin(), excludedDirectories_.end(), candidate) !=
      excludedDirectories_.end()) {
    return true;
  }
  return MatchesExcludeDirPattern(name);
}
