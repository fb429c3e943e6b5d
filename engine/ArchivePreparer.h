// Decides what happens to an archive of the same name that a run finds in its
// place (kept, replaced or moved aside as "(old n)") and opens the archive.
#pragma once

#include <string>
#include <vector>

#include <wx/datetime.h>

#include "zip/ZipOpenMode.h"

class BackupJob;
class ZipWriter;

// What PrepareArchive did with the archive file.
// A new archive (Created, Retired, Replaced) is written under a temporary
// name and takes the archive's place only when the writer commits it, so the
// old one is retired or replaced at that moment, never before.
enum class ArchiveFate {
  Created,  // there was none: a new archive is created
  Retired,  // the old one goes to its first free "(old n)" name at commit
  Replaced, // the old one is replaced by the new archive at commit
  Kept,     // the old one was opened to add to it
};

struct PreparedArchive {
  bool opened = false;  // the archive is open
  ArchiveFate fate = ArchiveFate::Created;
  ZipOpenMode mode = ZipOpenMode::CreateNew;  // how it was opened
  std::string retirePath;  // Retired: the "(old n)" path the old archive goes to
};

class ArchivePreparer {
 public:
  // `now` is the local date and time the run started at. The job must outlive
  // the preparer.
  ArchivePreparer(const BackupJob& job, bool fullBackup, const wxDateTime& now);

  // Opens `archive` on JoinPath(baseDir, archiveName) + ".zip", creating its
  // directory when needed, after retiring, deleting or keeping an archive that
  // is already there. ZIP writer errors while opening are thrown (ZipException).
  PreparedArchive PrepareArchive(ZipWriter& archive, const std::string& baseDir,
                                 const std::string& archiveName) const;

 private:
  ArchiveFate FateOfExisting(const std::string& path) const;
  bool IsFromEarlierDay(const wxDateTime& lastWrite) const;

  const BackupJob& job_;
  bool fullBackup_;
  wxDateTime now_;
};

// "<stem> (old n).zip" for the archive at `path`.
std::string OldArchivePath(const std::string& path, int n);

// The name the archive at `path` is retired to: "<stem> (old n).zip" with n
// one above the highest "(old n)" there (1 when there is none), so a higher
// number is always newer.
std::string RetiredArchivePath(const std::string& path);

// The "(old n)" archives of the archive at `path` that exist, oldest (lowest
// n) first.
std::vector<std::string> RetiredArchivePaths(const std::string& path);

// The file's last-write time in local time; an invalid date-time when it
// cannot be read.
wxDateTime FileLastWriteTime(const std::string& path);
