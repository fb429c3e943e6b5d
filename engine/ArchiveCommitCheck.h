// What follows the commit of each archive a backup run writes: its line in
// the index of its backup directory (and the renamed line of the archive it
// retired), then a check with the reader of every entry the run wrote into
// it. The run stamps the archive's files only when the check finds nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "engine/ArchivePreparer.h"
#include "engine/ArchiveVerifier.h"
#include "engine/EntryNameSet.h"

class ZipWriter;

class ArchiveCommitCheck {
 public:
  // A run of kind `fullRun` of a job with a suffix or not (`suffixed`)
  // opened the archive `archiveName` (relative, no ".zip") below `baseDir` as
  // `prepared` says.
  void Begin(const std::string& baseDir, const std::string& archiveName,
             const PreparedArchive& prepared, bool fullRun, bool suffixed);

  // The run stored the file at `path` in `archive`. Only an archive the run
  // added to holds entries it did not write: only there are the names kept.
  void NoteWritten(const ZipWriter& archive, const std::string& path);

  // The archive has committed with `entries` entries at `committed`; `kept`
  // is false when the run then removed it (empty), `complete` false when its
  // walk was cancelled or stopped by an error (it then never counts as a full
  // or initial backup). Records the index (a
  // failure is logged, never fatal) and checks every entry written. True when
  // all are sound; `*problems` names the damaged ones. A stop asked for by
  // `stopRequested` ends the check early with false and no problem.
  bool AfterCommit(uint64_t entries, const wxDateTime& committed, bool kept, bool complete,
                   const std::function<bool()>& stopRequested,
                   std::vector<EntryProblem>* problems);

 private:
  void RecordInIndex(uint64_t entries, const wxDateTime& committed, bool kept,
                     bool complete) const;

  std::string baseDir_;
  std::string name_;  // relative to baseDir_, with ".zip"
  PreparedArchive prepared_;
  bool fullRun_ = true;
  bool surelyFirst_ = false;  // created where no archive of its name was before
  bool wroteAny_ = false;
  EntryNameSet written_;  // entry names, in an archive added to
};
