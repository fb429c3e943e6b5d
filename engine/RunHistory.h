// The user's record of backup runs: the file "runs.log" in a directory
// (normally $XDG_STATE_HOME/arkivault, else ~/.local/state/arkivault), one
// RunRecord line per run of a job, oldest first.
//
// Appends are single O_APPEND writes under a shared lock on "runs.lock", so
// runs of several processes (the window, the scheduler, batch runs from cron)
// append at once without losing a record. A line cut short by a crash is
// skipped when reading. Past kMaxBytes the oldest records are dropped: under
// the exclusive lock the newest half is written to a new file that replaces
// the old one atomically. Safe to use from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RunRecord.h"

class RunHistory {
 public:
  // Size past which the oldest records are dropped.
  static constexpr uint64_t kMaxBytes = 1 << 20;

  // The history kept in `directory`, made (with its parents) on the first append.
  explicit RunHistory(std::string directory);

  // The user's history directory; "" when the system names no home.
  static std::string DefaultDirectory();

  // Appends `record`; 0 or an errno value.
  int Append(const RunRecord& record);

  // Every readable record, oldest first.
  std::vector<RunRecord> Load() const;

  // The start of the newest successful run of the job defined in
  // `definition` of the given kind; 0 when there is none.
  int64_t LastSuccess(const std::string& definition, bool full) const;

  const std::string& FilePath() const { return file_; }

 private:
  int MakeDirectory() const;
  // Keeps the newest records that fill half of kMaxBytes.
  void DropOldest() const;
  std::string ReadAll() const;

  std::string directory_;
  std::string file_;
  std::string lock_;
};
