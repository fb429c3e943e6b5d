#include "scheduler/BackupScheduler.h"

#include <iterator>
#include <vector>

#include "jobs/BackupJob.h"
#include "jobs/ScheduleCalendar.h"
#include "platform/Clock.h"
#include "scheduler/JobStarter.h"

namespace {

bool HasWeekday(const JobSchedule& schedule) { return (schedule.Days & JobSchedule::AllDays) != 0; }

const JobSchedule& ScheduleOf(const BackupJob& job, bool full) {
  return full ? job.ScheduleFull : job.ScheduleIncremental;
}

wxDateTime CurrentTime() {
  return wxDateTime(static_cast<time_t>(platform::Clock::Current()->Now()));
}

// The job's next run of the given kind strictly after `now`. The job answers
// "at or after now", which is the time just due when a check falls exactly on
// it; that occurrence has been handled, so the one after it is taken.
wxDateTime NextRunAfter(BackupJob& job, bool full, const wxDateTime& now) {
  wxDateTime next = full ? job.NextFullBackupTime() : job.NextIncrementalBackupTime();
  if (next.IsValid() && next <= now) {
    const JobSchedule& schedule = ScheduleOf(job, full);
    next = ScheduleCalendar::NextRun(schedule.Days, schedule.Hour(), schedule.Minute(),
                                     static_cast<int64_t>(now.GetTicks()) + 1);
  }
  return next;
}

}  // namespace

BackupScheduler::BackupScheduler(JobStarter& starter) : starter_(starter), timer_(this) {
  Bind(wxEVT_TIMER, &BackupScheduler::OnTimer, this);
}

BackupScheduler::~BackupScheduler() {
  if (timer_.IsRunning()) timer_.Stop();
}

void BackupScheduler::Start() { timer_.StartOnce(kCheckInterval); }

void BackupScheduler::Stop() { timer_.Stop(); }

void BackupScheduler::ScheduleJob(BackupJob* job) {
  if (!job->Active) return;
  wxMutexLocker locker(lock_);
  if (HasWeekday(job->ScheduleFull)) Enqueue(fullQueue_, job->NextFullBackupTime(), job);
  if (HasWeekday(job->ScheduleIncremental)) {
    Enqueue(incrementalQueue_, job->NextIncrementalBackupTime(), job);
  }
}

void BackupScheduler::UnscheduleJob(BackupJob* job) {
  wxMutexLocker locker(lock_);
  RemoveJob(fullQueue_, job);
  RemoveJob(incrementalQueue_, job);
}

void BackupScheduler::OnTick() {
  if (!starter_.IsBusy()) {
    wxMutexLocker locker(lock_);
    const wxDateTime now = CurrentTime();
    StartDueJobs(fullQueue_, true, now);
    StartDueJobs(incrementalQueue_, false, now);
  }
  timer_.Start(kCheckInterval, wxTIMER_CONTINUOUS);
}

void BackupScheduler::OnTimer(wxTimerEvent&) { OnTick(); }

void BackupScheduler::StartDueJobs(JobQueue& queue, bool full, const wxDateTime& now) {
  // The due pairs are taken out first, so each is handled once in this check
  // even when its job's next time cannot be found.
  const JobQueue::iterator firstLater = queue.upper_bound(now);
  std::vector<BackupJob*> dueJobs;
  for (JobQueue::iterator it = queue.begin(); it != firstLater; ++it) dueJobs.push_back(it->second);
  queue.erase(queue.begin(), firstLater);
  for (BackupJob* job : dueJobs) {
    starter_.Start(job, full);
    Enqueue(queue, NextRunAfter(*job, full, now), job);
  }
}

void BackupScheduler::Enqueue(JobQueue& queue, const wxDateTime& time, BackupJob* job) {
  // A schedule without a weekday has no next time; such a job is not queued.
  if (time.IsValid()) queue.emplace(time, job);
}

void BackupScheduler::RemoveJob(JobQueue& queue, const BackupJob* job) {
  for (JobQueue::iterator it = queue.begin(); it != queue.end();) {
    it = it->second == job ? queue.erase(it) : std::next(it);
  }
}
