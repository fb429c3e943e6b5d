// The selection rules of a job's source tree: include and exclude patterns for
// file and directory names, excluded directory paths, and hidden entries.
#pragma once

#include <string>
#include <vector>

#include "engine/Wildcard.h"

class BackupJob;

class SourceSelection {
 public:
  // Reads the job's selection settings; the job is not kept.
  explicit SourceSelection(const BackupJob& job);

  // True at the first pattern of the job's list that matches `name` (case-
  // insensitive); false when none does or the list is empty.
  bool MatchesIncludeFilePattern(const std::string& name) const;
  bool MatchesExcludeFilePattern(const std::string& name) const;
  bool MatchesIncludeDirPattern(const std::string& name) const;
  bool MatchesExcludeDirPattern(const std::string& name) const;

  // A file name passes the include patterns and no exclude pattern.
  bool IsFileNameSelected(const std::string& name) const;

  // The directory `dirPath` (source root joined with its relative path) named
  // `name` is left out: it is one of the job's excluded paths (exact, case-
  // sensitive comparison; a trailing '/' on either side does not matter) or
  // its name matches an exclude directory pattern.
  bool IsDirectoryExcluded(const std::string& dirPath, const std::string& name) const;

  // The job's hidden-entry settings.
  bool ExcludeHiddenFiles() const { return excludeHiddenFiles_; }
  bool ExcludeHiddenDirs() const { return excludeHiddenDirs_; }

 private:
  WildcardList includeFiles_;
  WildcardList excludeFiles_;
  WildcardList includeDirs_;
  WildcardList excludeDirs_;
  std::vector<std::string> excludedDirectories_;  // native, without trailing '/'
  bool excludeHiddenFiles_;
  bool excludeHiddenDirs_;
};
