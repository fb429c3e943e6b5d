// What a job keeps of its earlier archives once a run has committed: at most
// KeepOld "(old n)" archives per archive name (0 keeps all) and, with
// KeepDays, no retired archive and no dated or year-week backup of the job
// older than that many days. Only names the job's own naming produces are
// removed; never the archive just written, never the newest complete full
// backup of an archive name (an archive the index does not name as
// incremental counts as one), nor an archive written after it that holds a
// file no later archive of the name holds. Nothing of a name is removed while
// its newest full backup is one only by default, without an index line. The
// "(old n)" archives left are renumbered
// 1, 2, ... in their order, so the plain name is the newest and a higher
// number always newer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <wx/datetime.h>

class BackupJob;

class ArchiveRetention {
 public:
  // `now`: the local time the run started at. The job must outlive this.
  ArchiveRetention(const BackupJob& job, const wxDateTime& now);

  // `archives`: the plain paths of the archives the run committed in
  // `backupDirectory`. Removes what the rules allow, renumbers what is left
  // and returns the paths removed (files, and directories left empty); what
  // cannot be removed stays and is not named.
  std::vector<std::string> Apply(const std::string& backupDirectory,
                                 const std::vector<std::string>& archives) const;

  // The bytes Apply would free at this moment.
  uint64_t RemovableBytes(const std::string& backupDirectory,
                          const std::vector<std::string>& archives) const;

 private:
  struct Plan;

  Plan MakePlan(const std::string& backupDirectory, const std::vector<std::string>& archives) const;
  std::vector<std::string> DatedBackupDirectories(const std::string& backupDirectory) const;
  std::vector<std::string> PlainArchivesIn(const std::string& directory,
                                           const std::string& backupDirectory,
                                           const std::vector<std::string>& archives) const;
  bool IsExpired(int64_t mtime) const;

  const BackupJob& job_;
  wxDateTime now_;
};
