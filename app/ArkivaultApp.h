// The application object of an interactive start and the program's
// composition root: it builds and owns every long-lived object (resources,
// jobs, runner, scheduler, run presenter, help book, refresh timer), creates
// the main window with what it shows and the commands it may issue
// (AppCommands), and drives the run display every 125 ms. "-h" and batch runs
// never create it (see HeadlessApp), so it always runs with a display.
#pragma once

#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/timer.h>

#include "app/ArkivaultTaskBarIcon.h"
#include "app/Autostart.h"
#include "app/CommandLine.h"
#include "app/ResourceFiles.h"
#include "app/SingleInstance.h"
#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/RunHistory.h"
#include "jobs/JobList.h"
#include "jobs/JobStore.h"
#include "platform/TerminationSignals.h"
#include "scheduler/BackupScheduler.h"
#include "scheduler/JobStarter.h"
#include "scheduler/OverdueJobs.h"
#include "ui/AppCommands.h"
#include "ui/FailedRunNotice.h"
#include "ui/RunPresenter.h"

class MainFrame;
class wxHtmlHelpController;

class ArkivaultApp : public wxApp, public AppCommands, public TrayCommands {
 public:
  // Milliseconds between two refreshes of the run display.
  static constexpr int kRefreshInterval = 125;

  // `options` come from the command line, which the entry point has parsed.
  explicit ArkivaultApp(const StartOptions& options);
  ~ArkivaultApp() override;

  // Starts the toolkit (GTK); without a display it says so and fails.
  bool Initialize(int& argc, wxChar** argv) override;

  // The start-up sequence: resource archive, the hand-over to a running
  // instance, image handlers, help book, tray icon, the jobs of
  // "BackupDef/", the single-instance server, the scheduler, the refresh
  // timer and, unless "-n" was given (and a tray icon can be shown), the main
  // window. False ends the process without entering the main loop.
  bool OnInit() override;

  // The main loop; after a hand-over, nothing (exit status 0).
  int OnRun() override;

  // Stops the timers and a running backup, then destroys the jobs and
  // releases the single-instance link; always 0.
  int OnExit() override;

  // Creates the main window, lists the jobs in it and shows it; only raises
  // it when it is open already.
  void ShowMainWindow();

  // Hands every job, in order, to the scheduler.
  void ScheduleAllJobs();

  // The end of the session (the tray's Shutdown, SIGTERM, SIGHUP): Shutdown.
  void OnEndSession(wxCloseEvent& event);

  // The open main window, or null.
  MainFrame* MainWindow() const { return mainWindow_; }
  // The tray icon, or null (no tray host, or after Shutdown).
  ArkivaultTaskBarIcon* TaskBarIcon() const { return taskBarIcon_.get(); }
  const SingleInstance& Instance() const { return instance_; }
  // The icons and menu pictures the windows and the tray use.
  const ImageSource& Images() const { return resources_; }
  const RunPresenter& Presenter() const { return presenter_; }
  BackupScheduler& Scheduler() { return scheduler_; }
  const BackupProgress& Progress() const { return progress_; }
  const wxTimer& RefreshTimer() const { return refreshTimer_; }
  const RunHistory& History() const { return history_; }

  // AppCommands, for the windows.
  const JobList& Jobs() const override { return jobs_; }
  BackupJob* CreateJob() override;
  BackupJob* CopyJob(int row) override;
  void DeleteJob(int row) override;
  bool SaveJob(BackupJob& job) override;
  void UnscheduleJob(BackupJob* job) override;
  void ScheduleJob(BackupJob* job) override;
  void StartJob(int row, bool full) override;
  std::vector<RunRecord> RunsOf(int row) const override;
  bool IsRunning() const override;
  int RunningJobIndex() const override;
  void AbortRun() override;
  bool DetailsView() const override { return detailsView_; }
  void SetDetailsView(bool details) override { detailsView_ = details; }
  void SetModalDialogOpen(bool open) override { modalDialogOpen_ = open; }
  void ShowHelpContents() override;
  void ShowHelpPage(const wxString& page) override;
  // Asks whether to abort a running backup (No changes nothing), then
  // closes the main window, deletes the tray icon and ends the main loop.
  void Shutdown() override;
  void MainWindowDestroyed() override { mainWindow_ = nullptr; }
  bool StartsAtLogin() const override { return Autostart().IsEnabled(); }
  // The entry starts this program in the current directory, whose BackupDef/
  // holds the jobs.
  void SetStartAtLogin(bool start) override;

  // TrayCommands, for the tray icon.
  void RestoreMainWindow() override;
  int SelectedJobRow() const override;
  void OpenRestoreWindow() override;
  bool IsModalDialogOpen() const override { return modalDialogOpen_; }
  void RequestEndOfSession() override;
  bool LastRunStartedFromWindow() const override { return windowStartedRun_; }

 private:
  // The scheduler's way to the runner: the run is marked as not started
  // from the window.
  class ScheduledStarter : public JobStarter {
   public:
    explicit ScheduledStarter(ArkivaultApp& app) : app_(app) {}
    bool IsBusy() const override;
    bool Start(BackupJob* job, bool full, RunTrigger trigger) override;

   private:
    ArkivaultApp& app_;
  };

  // Since when the job's runs of a kind count as made: its last successful
  // run of that kind in the history, or the last save of its definition.
  int64_t LastSuccess(const BackupJob& job, bool full) const;
  // Loads the resource archive; on failure tells the user in a message box.
  bool LoadResources();
  // Hands over to a running instance; false when this process is to end.
  bool BecomeRunningInstance();
  void OnTimer(wxTimerEvent& event);
  // A termination signal: a modal dialog is cancelled, a running backup
  // aborted without a question, then the program ends.
  void EndSessionBySignal();
  // Cancels the open modal dialog or message box, if any; true when one was.
  bool CancelModalDialog();
  // Creates the tray icon when there is none and a tray host is on the
  // display (also one that started after the program).
  void ShowTrayIconWhenPossible();
  // Closes the main window, deletes the tray icon and ends the main loop.
  void CloseDown();

  // Names each overdue job once (OverdueJobs) in a desktop notification, on
  // the tray icon (warning icon and tooltip) and in the main window's status
  // bar, or the next window's when none is open.
  void WarnAboutOverdueJobs();

  // Refresh ticks between two looks for a tray host (2 s).
  static constexpr unsigned kTrayCheckTicks = 16;
  // Refresh ticks between two looks for overdue jobs: as often as the
  // scheduler checks (30 s), the first one 2 s after the start.
  static constexpr unsigned kOverdueCheckTicks =
      BackupScheduler::kCheckInterval / kRefreshInterval;

  StartOptions options_;
  ResourceFiles resources_;
  MainFrame* mainWindow_ = nullptr;
  bool modalDialogOpen_ = false;
  bool detailsView_ = false;
  bool handedOver_ = false;
  bool windowStartedRun_ = false;
  bool closingDown_ = false;
  // An overdue warning not yet seen in a main window.
  wxString unseenWarning_;
  unsigned ticks_ = 0;
  std::unique_ptr<wxHtmlHelpController> help_;
  SingleInstance instance_;
  std::unique_ptr<platform::TerminationSignals> signals_;

  // Declared so that whatever holds a reference is destroyed before what it
  // refers to: the refresh timer before what its ticks read, the scheduler
  // before the runner it starts jobs on, the runner before the jobs a worker
  // reads and the history it appends to.
  BackupProgress progress_;
  JobList jobs_;
  RunHistory history_{RunHistory::DefaultDirectory()};
  BackupRunner runner_{progress_};
  ScheduledStarter jobStarter_{*this};
  BackupScheduler scheduler_{
      jobStarter_, [this](const BackupJob& job, bool full) { return LastSuccess(job, full); }};
  OverdueJobs overdue_{[this](const BackupJob& job, bool full) { return LastSuccess(job, full); }};
  JobStore jobStore_{jobs_, scheduler_};
  RunPresenter presenter_{jobs_, runner_, progress_};
  FailedRunNotice failedRunNotice_{[this] { return windowStartedRun_; }};
  wxTimer refreshTimer_{this};
  // Deleted before the presenter whose ticks it shows.
  std::unique_ptr<ArkivaultTaskBarIcon> taskBarIcon_;
};

wxDECLARE_APP(ArkivaultApp);
