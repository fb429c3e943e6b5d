// Starts jobs on the weekdays and at the times of their schedules: a full run
// for ScheduleFull, an incremental one for ScheduleIncremental.
//
// Two queues hold the next full and next incremental time of every queued job.
// A timer checks them every 30 seconds (the first check 30 seconds after
// Start) and hands due jobs to the runner. While a run is going on nothing is
// started and nothing leaves the queues, so a job that falls due meanwhile
// starts on the first check after the run. When several runs are due in one
// check, the first starts and the runner refuses the others: each of those
// occurrences is skipped and the job waits for its next scheduled time.
//
// Everything runs on the main thread. Jobs are not owned: a job must be taken
// off (UnscheduleJob) before it is destroyed or its schedule changes, and
// queued again afterwards.
#pragma once

#include <map>

#include <wx/datetime.h>
#include <wx/event.h>
#include <wx/thread.h>
#include <wx/timer.h>

#include "jobs/JobUnscheduler.h"

class BackupJob;
class JobStarter;

class BackupScheduler : public wxEvtHandler, public JobUnscheduler {
 public:
  // Time of a run and its job; equal times keep the order of queueing.
  using JobQueue = std::multimap<wxDateTime, BackupJob*>;

  // Milliseconds between two checks of the queues.
  static constexpr int kCheckInterval = 30000;

  // `starter` is not owned and must outlive the scheduler.
  explicit BackupScheduler(JobStarter& starter);
  ~BackupScheduler() override;
  BackupScheduler(const BackupScheduler&) = delete;
  BackupScheduler& operator=(const BackupScheduler&) = delete;

  // Starts the timer: one check after 30 seconds, then one every 30 seconds.
  void Start();
  // Stops the timer.
  void Stop();

  // Queues the job's next full and next incremental time, each only when its
  // schedule has a weekday. An inactive job is not queued at all.
  void ScheduleJob(BackupJob* job);
  // Takes every queued time of `job` off both queues.
  void UnscheduleJob(BackupJob* job) override;

  // One check: unless a run is going on, starts each job whose queued time is
  // at or before now (full queue first) and queues its next time, which lies
  // after now. Then the timer repeats every 30 seconds.
  void OnTick();

  // The queues and the check timer, for inspection.
  const JobQueue& FullQueue() const { return fullQueue_; }
  const JobQueue& IncrementalQueue() const { return incrementalQueue_; }
  const wxTimer& Timer() const { return timer_; }

 private:

  void OnTimer(wxTimerEvent& event);
  // Starts the due jobs of `queue` and queues each at its next time after `now`.
  void StartDueJobs(JobQueue& queue, bool full, const wxDateTime& now);
  static void Enqueue(JobQueue& queue, const wxDateTime& time, BackupJob* job);
  static void RemoveJob(JobQueue& queue, const BackupJob* job);

  JobStarter& starter_;
  wxTimer timer_;
  JobQueue fullQueue_;
  JobQueue incrementalQueue_;
  wxMutex lock_;
};
