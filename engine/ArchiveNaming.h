// Where a run's archives go: the backup directory with its date-derived
// suffix, and the relative archive name of an archive directory.
#pragma once

#include <cstddef>
#include <string>

#include <wx/datetime.h>

class BackupJob;

// The current local date and time, from platform::Clock::Current().
wxDateTime LocalNow();

// The suffix the job's backup directory gets at the local time `when`:
// nothing (None), "-" + abbreviated weekday name (Weekday), "-year-week" with
// Monday-first week numbers, unpadded (YearWeek), "-yyyy-mm-dd" (Date).
std::string BackupSuffix(const BackupJob& job, const wxDateTime& when);

// The length of the backup-directory suffix that the job's Date or YearWeek
// naming gives some day, found at the start of `text`; 0 when there is none
// (and always for the other suffix kinds).
size_t DatedSuffixLength(const BackupJob& job, const std::string& text);

// JoinPath(TargetPath, BackupName) followed by BackupSuffix(job, when). A ".."
// component of BackupName becomes "__", as in archive names, so the backup
// directory never lies outside TargetPath.
std::string BackupDirectoryPath(const BackupJob& job, const wxDateTime& when);

// The archive name of an archive directory below a base directory: its
// directories joined by '/', without a trailing '/'; an absolute path keeps
// its leading '/'; a path with a drive letter ("C:/Data") becomes
// "vol_C" + "/" + "/Data". An empty path gives "/" (the archive ".zip").
// Every ".." component becomes "__", so the name never leads out of the base
// directory ("../Other" gives "__/Other").
std::string ArchiveRelativePath(const std::string& path);
