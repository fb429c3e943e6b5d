// What the windows ask of the application: the job operations behind the
// menu commands, the run, the help book and the program's end. The
// application implements it and hands it to each window it creates, so no
// window reaches for the application object itself.
#pragma once

#include <vector>

#include <wx/string.h>

#include "engine/RunRecord.h"
#include "jobs/JobList.h"

class BackupJob;

class AppCommands {
 public:
  virtual ~AppCommands() = default;

  // All jobs; a job's position is its row in the main window.
  virtual const JobList& Jobs() const = 0;

  // Appends a new job with a title no other job has and returns it.
  virtual BackupJob* CreateJob() = 0;
  // Appends a copy of the job at `row` and returns it; null without such a row.
  virtual BackupJob* CopyJob(int row) = 0;
  // Destroys the job at `row` and removes its definition file. The caller has
  // made sure it is not being run.
  virtual void DeleteJob(int row) = 0;

  // Writes the job's definition file (a first save picks a free name in
  // "BackupDef/", which is created when missing). False, with the failure
  // logged, when it cannot be written.
  virtual bool SaveJob(BackupJob& job) = 0;

  // Takes `job` off the scheduler while it is edited, and hands it back.
  virtual void UnscheduleJob(BackupJob* job) = 0;
  virtual void ScheduleJob(BackupJob* job) = 0;

  // Starts the job at `row`, full or incremental; nothing while a run goes on.
  virtual void StartJob(int row, bool full) = 0;
  // The recorded runs of the job at `row`, oldest first.
  virtual std::vector<RunRecord> RunsOf(int row) const = 0;
  // A backup run is going on.
  virtual bool IsRunning() const = 0;
  // The row of the running job, or -1.
  virtual int RunningJobIndex() const = 0;
  // Cancels the running backup and waits until it has ended.
  virtual void AbortRun() = 0;

  // The main window lists the jobs with their runs in columns (else as
  // icons); kept while the program runs, so a reopened window shows the same.
  virtual bool DetailsView() const = 0;
  virtual void SetDetailsView(bool details) = 0;

  // Set while the about box or the job dialog is shown.
  virtual void SetModalDialogOpen(bool open) = 0;
  // Opens the help book at its contents page.
  virtual void ShowHelpContents() = 0;
  // Opens the help book at the page `page` (a file name such as "job-dialog.html").
  virtual void ShowHelpPage(const wxString& page) = 0;
  // The program is started (tray only) when the user logs in.
  virtual bool StartsAtLogin() const = 0;
  // Adds or removes the start at login; a failure is reported to the user.
  virtual void SetStartAtLogin(bool start) = 0;
  // Ends the program (after asking about a running backup).
  virtual void Shutdown() = 0;
  // The main window is being destroyed; the application forgets it.
  virtual void MainWindowDestroyed() = 0;
};
