#include "scheduler/BackupScheduler.h"

#include <algorithm>
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

BackupScheduler::BackupScheduler(JobStarter& starter, LastSuccess lastSuccess)
    : starter_(starter), lastSuccess_(std::move(lastSuccess)), timer_(this) {
  Bind(wxEVT_TIMER, &BackupScheduler::OnTimer, this);
}

BackupScheduler::~BackupScheduler() {
  if (timer_.IsRunning()) timer_.Stop();
}

void BackupScheduler::Start() {
  {
    wxMutexLocker locker(lock_);
    lastCheck_ = 0;
  }
  timer_.StartOnce(kCheckInterval);
}

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
  waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                [job](const Occurrence& waiting) { return waiting.job == job; }),
                 waiting_.end());
}

void BackupScheduler::OnTick() {
  {
    wxMutexLocker locker(lock_);
    const wxDateTime now = CurrentTime();
    const int64_t seconds = static_cast<int64_t>(now.GetTicks());
    // Made-up runs first, so a missed full run goes before a due incremental one.
    if (lastCheck_ == 0 || seconds - lastCheck_ > kJumpSeconds || seconds < lastCheck_) {
      CollectMissed(seconds);
    }
    CollectDue(now);
    lastCheck_ = seconds;
    StartWaitingLocked();
  }
  timer_.Start(kCheckInterval, wxTIMER_CONTINUOUS);
}

void BackupScheduler::OnTimer(wxTimerEvent&) { OnTick(); }

void BackupScheduler::StartWaiting() {
  wxMutexLocker locker(lock_);
  StartWaitingLocked();
}

void BackupScheduler::StartWaitingLocked() {
  // An occurrence whose run cannot be started at all is not kept.
  while (!waiting_.empty() && !starter_.IsBusy()) {
    const Occurrence next = waiting_.front();
    waiting_.pop_front();
    starter_.Start(next.job, next.full, next.trigger);
  }
}

void BackupScheduler::CollectDue(const wxDateTime& now) {
  struct Due {
    wxDateTime time;
    bool full;
    BackupJob* job;
  };
  std::vector<Due> due;
  for (const bool full : {true, false}) {
    JobQueue& queue = full ? fullQueue_ : incrementalQueue_;
    const JobQueue::iterator firstLater = queue.upper_bound(now);
    for (JobQueue::iterator it = queue.begin(); it != firstLater; ++it) {
      due.push_back({it->first, full, it->second});
    }
    queue.erase(queue.begin(), firstLater);
  }
  // Oldest first; at equal times full before incremental, then queue order.
  std::stable_sort(due.begin(), due.end(), [](const Due& a, const Due& b) {
    return a.time != b.time ? a.time < b.time : a.full && !b.full;
  });
  for (size_t i = 0; i < due.size(); ++i) {
    const Due& run = due[i];
    // A full run of the job at the same time takes every file anyway.
    const bool superseded = i > 0 && !run.full &&
                            std::any_of(due.begin(), due.begin() + i, [&](const Due& earlier) {
                              return earlier.full && earlier.job == run.job &&
                                     earlier.time == run.time;
                            });
    if (!superseded) AddWaiting({run.job, run.full, RunTrigger::Scheduled});
    Enqueue(run.full ? fullQueue_ : incrementalQueue_, NextRunAfter(*run.job, run.full, now),
            run.job);
  }
}

void BackupScheduler::CollectMissed(int64_t now) {
  if (!lastSuccess_) return;
  for (const bool full : {true, false}) {
    for (const auto& queued : full ? fullQueue_ : incrementalQueue_) {
      BackupJob& job = *queued.second;
      if (!job.CatchUp) continue;
      const JobSchedule& schedule = ScheduleOf(job, full);
      const wxDateTime missed =
          ScheduleCalendar::PreviousRun(schedule.Days, schedule.Hour(), schedule.Minute(), now);
      if (missed.IsValid() && static_cast<int64_t>(missed.GetTicks()) > lastSuccess_(job, full)) {
        AddWaiting({&job, full, RunTrigger::CatchUp});
      }
    }
  }
}

void BackupScheduler::AddWaiting(const Occurrence& occurrence) {
  for (const Occurrence& waiting : waiting_) {
    if (waiting.job == occurrence.job && waiting.full == occurrence.full) return;
  }
  waiting_.push_back(occurrence);
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
