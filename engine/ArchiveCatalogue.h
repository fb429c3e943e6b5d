// Every archive a job's runs can have written below its TargetPath, found from
// the target alone: backup directories of every suffix kind, the archives the
// job's naming gives in them with their "(old n)" predecessors, per-directory
// "files.zip" archives, and the archives their indexes name. Commit time, kind
// and entry count come from the index where it has the archive, else from the
// file's modification time and its central directory. Other ZIP files in the
// target are not taken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "engine/ArchiveIndex.h"
#include "platform/Env.h"

class BackupJob;

struct CatalogueArchive {
  std::string path;            // the archive file
  std::string indexDirectory;  // the directory whose index has (or would have) its line
  std::string name;            // relative to indexDirectory, as in the index
  // The directory, relative to the job's source root, that its entry names
  // are relative to ("" for the source root itself).
  std::string sourcePrefix;
  ArchiveKind kind = ArchiveKind::Full;
  bool indexed = false;  // kind, time and count come from the index
  wxDateTime committed;  // local time
  uint64_t entries = 0;
};

class ArchiveCatalogue {
 public:
  // Finds the archives of `job`; entry counts of archives without an index
  // line are read from their central directories (0 when unreadable).
  static ArchiveCatalogue Scan(platform::Env& env, const BackupJob& job);

  // Oldest commit first; the archives of one name in the order of their
  // "(old n)" numbers whatever their times say, the plain name last.
  const std::vector<CatalogueArchive>& Archives() const { return archives_; }

 private:
  std::vector<CatalogueArchive> archives_;
};

// The one place a reader of a job's archives brings an archive left with an
// unfinished change back to its committed state before reading it. Called by
// the catalogue for every archive it finds.
void RecoverPendingArchive(const std::string& archivePath);
