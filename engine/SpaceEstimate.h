// The room a run's new archives are expected to take, found out before the
// run writes anything: the selection is walked as the run will walk it (a
// full run takes every selected file, an incremental one the changed files),
// each file counted at its size scaled by the compression the job's earlier
// archives reached, plus the room its ZIP records take.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Env.h"

class BackupJob;

class SpaceEstimate {
 public:
  // The job must outlive the estimate. `shouldStop` is asked as the walk goes.
  SpaceEstimate(const BackupJob& job, bool fullBackup, std::function<bool()> shouldStop);

  // Never walks into the directory `identity` names (where the archives go).
  void SkipDirectory(const platform::FileInfo& identity) { skipped_ = identity; }

  // Bytes the archives of the archive directories `archiveDirs` (relative to
  // the source root; "" for the root itself) will take, scaled by `ratio`.
  // False when the walk was stopped.
  bool NeededBytes(const std::vector<std::string>& archiveDirs, double ratio,
                   uint64_t* needed) const;

  // Stored bytes per source byte of the archives at `archivePaths` that can
  // be read (compressed size plus records against the entries' sizes); 1 when
  // none can.
  static double CompressionRatio(const std::vector<std::string>& archivePaths);

 private:
  const BackupJob& job_;
  bool fullBackup_;
  std::function<bool()> shouldStop_;
  platform::FileInfo skipped_;
};
