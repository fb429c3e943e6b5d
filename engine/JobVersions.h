// The stored versions of every path of a job as of a moment: the entries of
// each archive committed at or before it, by the path (relative to the job's
// source root) they restore to, oldest archive first.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "engine/ArchiveCatalogue.h"
#include "engine/ArchiveVerifier.h"

struct StoredVersion {
  size_t archive = 0;     // index in the catalogue
  int entry = 0;          // index in the archive's reader
  std::string unsafe;     // why the name cannot be restored; empty when it can
  bool directory = false;
  uint64_t size = 0;
  int64_t modified = 0;   // seconds since the epoch
  uint32_t mode = 0;      // Unix permission bits, 0 when not recorded
  bool symlink = false;   // a symbolic link made by a Unix archiver
};

class JobVersions {
 public:
  // Reads the central directories of the archives of `catalogue` committed at
  // or before `asOf` (every archive when it is invalid). Archives that cannot
  // be read are named in `problems`.
  static JobVersions Read(const ArchiveCatalogue& catalogue, const wxDateTime& asOf,
                          std::vector<EntryProblem>* problems);

  // Every stored path with its versions, oldest first: the last is the one to restore.
  const std::map<std::string, std::vector<StoredVersion>>& Paths() const { return paths_; }

 private:
  std::map<std::string, std::vector<StoredVersion>> paths_;
};

// Why an entry name must not be restored ("" when it may): an absolute name,
// a ".." component, a NUL byte.
std::string UnsafeNameReason(const std::string& name);

// `path` is `selected` or lies below it ("" selects everything).
bool IsSelected(const std::string& path, const std::string& selected);
