#include "scheduler/OverdueJobs.h"

#include <algorithm>

#include <wx/intl.h>

#include "jobs/BackupJob.h"

namespace {

constexpr int64_t kDay = 86400;

// Days from a scheduled weekday to the next one, at their furthest apart.
int LongestGapDays(uint32_t days) {
  int longest = 0;
  for (int day = 0; day < 7; ++day) {
    if ((days & (1u << day)) == 0) continue;
    int gap = 1;
    while ((days & (1u << ((day + gap) % 7))) == 0) ++gap;
    longest = std::max(longest, gap);
  }
  return longest;
}

}  // namespace

OverdueJobs::OverdueJobs(BackupScheduler::LastSuccess lastSuccess)
    : lastSuccess_(std::move(lastSuccess)) {}

bool OverdueJobs::IsOverdue(uint32_t days, int64_t lastSuccess, int64_t now) {
  const int gap = LongestGapDays(days & JobSchedule::AllDays);
  return gap > 0 && now - lastSuccess > 2 * gap * kDay;
}

std::vector<wxString> OverdueJobs::NewWarnings(const JobList& jobs, int64_t now) {
  std::vector<wxString> warnings;
  for (const auto& job : jobs) {
    if (!job->Active || warned_.count(job->BackupTitle) != 0) continue;
    for (const bool full : {true, false}) {
      const int64_t since = lastSuccess_(*job, full);
      if (!IsOverdue((full ? job->ScheduleFull : job->ScheduleIncremental).Days, since, now)) {
        continue;
      }
      warned_.insert(job->BackupTitle);
      warnings.push_back(wxString::Format(
          full ? _("'%s': no full backup for %lld days.")
               : _("'%s': no incremental backup for %lld days."),
          wxString::FromUTF8(job->BackupTitle), static_cast<long long>((now - since) / kDay)));
      break;
    }
  }
  return warnings;
}
