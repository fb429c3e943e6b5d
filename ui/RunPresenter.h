// The one place that turns the backup runner's state into what the program
// shows of a run: the animation frame and the texts of the tray icon and of
// the main window's status bar.
//
// The application calls OnTimer every 125 ms with the displays that exist at
// that moment (the main window, the tray icon; either may be missing):
// - while a run goes on, Frame() moves on 1, 2, 3, 4, 1, ... one step per
//   tick and each display's ShowProgress is called; the tray shows run icon
//   Frame() with TrayTooltip(), the window shows row image Frame() with
//   ProgressTitle() and CountsText();
// - on the first tick after a run (also one that started and ended between
//   two ticks), Frame() becomes 0 and each display's ShowIdle is called once
//   (the tray goes back to its idle icon with TrayTooltip(), now "Arkivault");
// - from then on, each tick offers the run's end to ShowCompletion until a
//   display reports it (the main window does; a window opened later reports
//   it on its first tick), after which the progress values are cleared.
// Every run handed to the runner is counted (RunStarted), so the end of a
// run is noted even when the same job ran before and the run began and ended
// between two ticks.
// A finished run's job that the user deletes is forgotten (ForgetJob), so no
// completion ever names a destroyed job.
//
// Main thread only; the worker writes the progress values, which are read
// here without a lock (each is one atomic value).
#pragma once

#include <cstdint>
#include <initializer_list>

#include <wx/string.h>

#include "jobs/JobList.h"

class BackupJob;
class BackupProgress;
class BackupRunner;
class RunPresenter;

// Something that shows a run: the main window, the tray icon.
class RunDisplay {
 public:
  virtual ~RunDisplay() = default;

  // A tick while a run goes on; `run` has already moved to the next frame.
  virtual void ShowProgress(const RunPresenter& run) = 0;

  // The first tick after a run: its frames are over (Frame() is 0).
  virtual void ShowIdle(const RunPresenter&) {}

  // The end of the run of run.FinishedJob(). True when it has been shown to
  // the user, so it is not offered again.
  virtual bool ShowCompletion(const RunPresenter&) { return false; }
};

class RunPresenter {
 public:
  // Number of run pictures the animation cycles through.
  static constexpr int kFrames = 4;

  // None of the three is owned; all must outlive the presenter.
  RunPresenter(const JobList& jobs, BackupRunner& runner, BackupProgress& progress);

  // Starts the job at row `index` on the worker, full or incremental. Nothing
  // happens while a run is going on or when there is no such row.
  void StartJob(int index, bool full);
  // A run is going on.
  bool IsRunning() const;
  // The row of the running job; -1 when nothing runs or the job has no row.
  int RunningJobIndex() const;
  // Cancels the running backup and waits until it has ended.
  void AbortRun();
  // A run has been handed to the runner (by StartJob, or by the scheduler).
  void RunStarted();
  // How many runs have been started; displays tell one run's end from the
  // next by it.
  unsigned RunNumber() const { return runNumber_; }
  // `job` is about to be destroyed: a finished run of it is not reported.
  void ForgetJob(const BackupJob* job);

  // One tick of the refresh timer; null displays are skipped.
  void OnTimer(std::initializer_list<RunDisplay*> displays);

  // 0 while no run is shown; 1 to kFrames = the run picture of this tick.
  int Frame() const { return frame_; }

  // Tray tooltip: "Processing '<title>'.\n<n> files.\n<k> kB." while a run
  // goes on; otherwise "Arkivault", followed by the last run when there was
  // one: "\nLast run: '<title>' completed|failed, <time>". A title too long for `limit` characters
  // is shortened (ending in "...") so that the counters always show.
  wxString TrayTooltip(size_t limit = wxString::npos) const;
  // Status text of a running job: "Processing '<title>'...".
  wxString ProgressTitle() const;
  // Status counters: "<n> files added, <k> kB read" (kB rounded down).
  wxString CountsText() const;
  // "Backup '<title>' completed." or "Backup '<title>' failed." for the
  // finished job, followed by why it failed (cancelled, or the reason and
  // the path it concerns) and how many files could not be read, naming the
  // first; empty when there is no finished job.
  wxString CompletionText() const;

  // When the finished run ended, e.g. "(at 10:03)"; empty when no run has.
  wxString FinishedAtText() const;

  // Makes the run of `title` that ended at `end` (seconds since the epoch)
  // the last run the idle tooltip names, e.g. one read from the run history.
  void NoteLastRun(const wxString& title, bool succeeded, int64_t end);

  // The last run ended without a failure.
  bool LastRunSucceeded() const;
  // The job whose run has ended and is not reported yet, or null.
  const BackupJob* FinishedJob() const;
  // The job being run at the last tick, or null.
  const BackupJob* RunningJob() const { return running_; }

 private:
  void ShowRunning(std::initializer_list<RunDisplay*> displays);
  void ShowFinished(std::initializer_list<RunDisplay*> displays);
  wxString RunningTitle() const;

  const JobList& jobs_;
  BackupRunner& runner_;
  BackupProgress& progress_;
  int frame_ = 0;
  // The running job as seen by the last tick: the texts of one tick all name
  // the same job, even if the run ends meanwhile.
  const BackupJob* running_ = nullptr;
  // The finished run already noted as the last run, and what is known of it.
  const BackupJob* noted_ = nullptr;
  unsigned runNumber_ = 0;
  wxString lastTitle_;
  bool lastSucceeded_ = true;
  int64_t lastEnd_ = 0;
};
