// Starts jobs on the weekdays and at the times of their schedules: a full run
// for ScheduleFull, an incremental one for ScheduleIncremental.
//
// Two queues hold the next full and next incremental time of every queued job.
// A timer checks them every 30 seconds (the first check 30 seconds after
// Start). A due time becomes a waiting occurrence and the job is queued at its
// next time. Waiting occurrences start one after the other, in the order they
// fell due, whenever the runner is idle: nothing due is dropped when another
// run is going on or several jobs are due in one check. A job due for a full
// and an incremental run at the same time gets the full run only.
//
// Missed runs: for a job with CatchUp, at the first check after Start and
// after the clock has jumped (resume from sleep, a changed clock), when the
// newest scheduled time of a kind that has passed lies after the last
// successful run of that kind, one run of that kind is made up (however many
// were missed), full before incremental.
//
// Everything runs on the main thread. Jobs are not owned: a job must be taken
// off (UnscheduleJob) before it is destroyed or its schedule changes, and
// queued again afterwards.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>

#include <wx/datetime.h>
#include <wx/event.h>
#include <wx/thread.h>
#include <wx/timer.h>

#include "engine/RunRecord.h"
#include "jobs/JobUnscheduler.h"

class BackupJob;
class JobStarter;

class BackupScheduler : public wxEvtHandler, public JobUnscheduler {
 public:
  // Time of a run and its job; equal times keep the order of queueing.
  using JobQueue = std::multimap<wxDateTime, BackupJob*>;

  // A run that is due and waits for the runner.
  struct Occurrence {
    BackupJob* job;
    bool full;
    RunTrigger trigger;
  };

  // Since when a job's runs of a kind count as made (seconds since the epoch):
  // its last successful run of that kind, or when it was defined.
  using LastSuccess = std::function<int64_t(const BackupJob& job, bool full)>;

  // Milliseconds between two checks of the queues.
  static constexpr int kCheckInterval = 30000;
  // A check later than this after the previous one (or earlier than it)
  // means the clock jumped.
  static constexpr int64_t kJumpSeconds = 90;

  // `starter` is not owned and must outlive the scheduler. Without
  // `lastSuccess` no missed run is made up.
  explicit BackupScheduler(JobStarter& starter, LastSuccess lastSuccess = nullptr);
  ~BackupScheduler() override;
  BackupScheduler(const BackupScheduler&) = delete;
  BackupScheduler& operator=(const BackupScheduler&) = delete;

  // Starts the timer: one check after 30 seconds, which also looks for
  // missed runs, then one every 30 seconds.
  void Start();
  // Stops the timer.
  void Stop();

  // Queues the job's next full and next incremental time, each only when its
  // schedule has a weekday. An inactive job is not queued at all.
  void ScheduleJob(BackupJob* job);
  // Takes every queued time and waiting occurrence of `job` off.
  void UnscheduleJob(BackupJob* job) override;

  // One check: at the first check and after a clock jump missed runs are
  // looked for; each due time becomes a waiting occurrence and its job is
  // queued at its next time after now; then the first waiting occurrence starts when the runner is
  // idle. The timer then repeats every 30 seconds.
  void OnTick();

  // Starts the first waiting occurrence when the runner is idle.
  void StartWaiting();

  // The queues, the waiting occurrences and the check timer, for inspection.
  const JobQueue& FullQueue() const { return fullQueue_; }
  const JobQueue& IncrementalQueue() const { return incrementalQueue_; }
  const std::deque<Occurrence>& Waiting() const { return waiting_; }
  const wxTimer& Timer() const { return timer_; }

 private:
  void OnTimer(wxTimerEvent& event);
  // Turns the due times of both queues into waiting occurrences, oldest
  // first (full before incremental at equal times), and queues each job at
  // its next time after `now`.
  void CollectDue(const wxDateTime& now);
  // Adds a made-up run for each kind of each CatchUp job whose newest time
  // before `now` lies after its last success.
  void CollectMissed(int64_t now);
  // Adds `occurrence` unless a run of the same job and kind waits already.
  void AddWaiting(const Occurrence& occurrence);
  void StartWaitingLocked();
  static void Enqueue(JobQueue& queue, const wxDateTime& time, BackupJob* job);
  static void RemoveJob(JobQueue& queue, const BackupJob* job);

  JobStarter& starter_;
  LastSuccess lastSuccess_;
  wxTimer timer_;
  JobQueue fullQueue_;
  JobQueue incrementalQueue_;
  std::deque<Occurrence> waiting_;
  int64_t lastCheck_ = 0;  // seconds since the epoch of the last check; 0 before the first
  wxMutex lock_;
};
