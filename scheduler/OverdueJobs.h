// Finds the active jobs whose schedule has had no successful run for longer
// than twice its interval: the longest gap between two of its scheduled
// weekdays (a weekly full backup: 14 days; one every weekday: 6 days). Each
// job is named once while the program runs, not at every check.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <wx/string.h>

#include "jobs/JobList.h"
#include "scheduler/BackupScheduler.h"

class OverdueJobs {
 public:
  explicit OverdueJobs(BackupScheduler::LastSuccess lastSuccess);

  // A schedule on the weekdays `days` (JobSchedule bits) that last succeeded
  // at `lastSuccess` is overdue at `now` (both seconds since the epoch).
  // Never for a schedule without a weekday.
  static bool IsOverdue(uint32_t days, int64_t lastSuccess, int64_t now);

  // A warning for each active job of `jobs` overdue at `now` and not named
  // before, e.g. "'Docs': no full backup for 15 days." (short enough for
  // a tray tooltip).
  std::vector<wxString> NewWarnings(const JobList& jobs, int64_t now);

 private:
  BackupScheduler::LastSuccess lastSuccess_;
  std::set<std::string> warned_;  // titles of the jobs named
};
