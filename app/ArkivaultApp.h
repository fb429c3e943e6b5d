// The application object of an interactive start and the program's
// composition root: it builds and owns every long-lived object (resources,
// jobs, runner, scheduler, run presenter, help book, refresh timer), creates
// the main window with what it shows and the commands it may issue
// (AppCommands), and drives the run display every 125 ms. "-h" and batch runs
// never create it (see HeadlessApp), so it always runs with a display.
#pragma once

#include <memory>

#include <wx/app.h>
#include <wx/timer.h>

#include "app/CommandLine.h"
#include "app/ResourceFiles.h"
#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "jobs/JobList.h"
#include "jobs/JobStore.h"
#include "scheduler/BackupScheduler.h"
#include "scheduler/RunnerJobStarter.h"
#include "ui/AppCommands.h"
#include "ui/RunPresenter.h"

class MainFrame;
class wxHtmlHelpController;

class ArkivaultApp : public wxApp, public AppCommands {
 public:
  // Milliseconds between two refreshes of the run display.
  static constexpr int kRefreshInterval = 125;

  // `options` come from the command line, which the entry point has parsed.
  explicit ArkivaultApp(const StartOptions& options);
  ~ArkivaultApp() override;

  // Starts the toolkit (GTK); without a display it says so and fails.
  bool Initialize(int& argc, wxChar** argv) override;

  // The start-up sequence: resource archive, image handlers, help book, the
  // jobs of "BackupDef/", the scheduler, the refresh timer and, unless "-n"
  // was given, the main window. False ends the process without entering the
  // main loop.
  bool OnInit() override;

  // Stops the timers and a running backup, then destroys the jobs; always 0.
  int OnExit() override;

  // Creates the main window, lists the jobs in it and shows it; only raises
  // it when it is open already.
  void ShowMainWindow();

  // Hands every job, in order, to the scheduler.
  void ScheduleAllJobs();

  // The open main window, or null.
  MainFrame* MainWindow() const { return mainWindow_; }
  // True while the about box or the job dialog is shown.
  bool IsModalDialogOpen() const { return modalDialogOpen_; }
  const RunPresenter& Presenter() const { return presenter_; }
  BackupScheduler& Scheduler() { return scheduler_; }
  const BackupProgress& Progress() const { return progress_; }
  const wxTimer& RefreshTimer() const { return refreshTimer_; }

  // AppCommands, for the windows.
  const JobList& Jobs() const override { return jobs_; }
  BackupJob* CreateJob() override;
  BackupJob* CopyJob(int row) override;
  void DeleteJob(int row) override;
  bool SaveJob(BackupJob& job) override;
  void UnscheduleJob(BackupJob* job) override;
  void ScheduleJob(BackupJob* job) override;
  void StartJob(int row, bool full) override;
  bool IsRunning() const override;
  int RunningJobIndex() const override;
  void AbortRun() override;
  void SetModalDialogOpen(bool open) override { modalDialogOpen_ = open; }
  void ShowHelpContents() override;
  void Shutdown() override;
  void MainWindowDestroyed() override { mainWindow_ = nullptr; }

 private:
  // Loads the resource archive; on failure tells the user in a message box.
  bool LoadResources();
  void OnTimer(wxTimerEvent& event);

  StartOptions options_;
  ResourceFiles resources_;
  MainFrame* mainWindow_ = nullptr;
  bool modalDialogOpen_ = false;
  std::unique_ptr<wxHtmlHelpController> help_;

  // Declared so that whatever holds a reference is destroyed before what it
  // refers to: the refresh timer before what its ticks read, the scheduler
  // before the runner it starts jobs on, the runner before the jobs a worker
  // reads.
  BackupProgress progress_;
  JobList jobs_;
  BackupRunner runner_{progress_};
  RunnerJobStarter jobStarter_{runner_};
  BackupScheduler scheduler_{jobStarter_};
  JobStore jobStore_{jobs_, scheduler_};
  RunPresenter presenter_{jobs_, runner_, progress_};
  wxTimer refreshTimer_{this};
};

wxDECLARE_APP(ArkivaultApp);
