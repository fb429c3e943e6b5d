// Decides what happens to an archive of the same name that a run finds in its
// place (kept, replaced or moved aside as "(old n)") and opens the archive.
#pragma once

#include <string>

#include <wx/datetime.h>

#include "zip/ZipOpenMode.h"

class BackupJob;
class ZipWriter;

// What PrepareArchive did with the archive file.
enum class ArchiveFate {
  Created,  // there was none: a new archive was created
  Retired,  // the old one was renamed to its first free "(old n)" name
  Replaced, // the old one was deleted and a new archive created
  Kept,     // the old one was opened to add to it
  Blocked,  // the old one could not be moved aside: nothing was opened
};

struct PreparedArchive {
  bool opened = false;  // the archive is open (false only for Blocked)
  ArchiveFate fate = ArchiveFate::Blocked;
  ZipOpenMode mode = ZipOpenMode::CreateNew;  // how it was opened
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

// Renames the archive at `path` to the first free "<stem> (old n).zip" name
// (n = 1, 2, ...). Returns the new path, or an empty string when the rename
// failed (logged).
std::string RetireArchive(const std::string& path);

// The file's last-write time in local time; an invalid date-time when it
// cannot be read.
wxDateTime FileLastWriteTime(const std::string& path);
