// The application object of an interactive start: it owns the program's
// long-lived objects and the main window pointer, loads the resources and the
// jobs, runs the scheduler and the refresh timer and enters the toolkit's main
// loop. "-h" and batch runs never create it (see HeadlessApp), so it always
// runs with a display.
#pragma once

#include <wx/app.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/timer.h>

#include "app/CommandLine.h"
#include "app/ResourceFiles.h"
#include "engine/BackupOrchestrator.h"
#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/ProgressView.h"
#include "jobs/JobList.h"
#include "jobs/JobStore.h"
#include "scheduler/BackupScheduler.h"
#include "scheduler/RunnerJobStarter.h"

class MainFrame;

class ArkivaultApp : public wxApp, private ProgressView {
 public:
  // Milliseconds between two refreshes of the progress display.
  static constexpr int kRefreshInterval = 125;

  // `options` come from the command line, which the entry point has parsed.
  explicit ArkivaultApp(const StartOptions& options);
  ~ArkivaultApp() override;

  // Starts the toolkit (GTK); without a display it says so and fails.
  bool Initialize(int& argc, wxChar** argv) override;

  // The start-up sequence: resource archive, icons, image handlers, the jobs
  // of "BackupDef/", the scheduler, the refresh timer and, unless "-n" was
  // given, the main window. False ends the process without entering the main
  // loop.
  bool OnInit() override;

  // Stops the scheduler and a running backup, then destroys the jobs; always 0.
  int OnExit() override;

  // Creates the main window, keeps it as `mainWindow`, lists the jobs in it
  // and shows it.
  void ShowMainWindow();

  // Hands every job, in order, to the scheduler.
  void ScheduleAllJobs();

  // The icon file `name` of the resource directory; empty when it is missing.
  wxIcon LoadIcon(const wxString& name) const;

  // The image `name` of the resource archive ("Arkivault.xrs$" + name)
  // decoded as `type`; empty, without a message, when it is missing.
  wxImage LoadResourceImage(const wxString& name, wxBitmapType type) const;

  // The open main window, or null; the window clears it when it is destroyed.
  MainFrame* mainWindow = nullptr;
  // True while a modal dialog of the program is shown.
  bool modalDialogOpen = false;

  // Declared so that whatever holds a reference is destroyed before what it
  // refers to: the refresh timer before what its ticks read, the scheduler
  // before the runner it starts jobs on, the runner before the jobs a worker
  // reads.
  //
  // Files added, bytes read and the finished job of the current or last run.
  BackupProgress progress;
  // All jobs; a job's position is its row in the main window.
  JobList jobs;
  BackupRunner runner{progress};
  RunnerJobStarter jobStarter{runner};
  BackupScheduler scheduler{jobStarter};
  JobStore jobStore{jobs, scheduler};
  // Starts listed jobs and turns the runner's state into the progress display.
  BackupOrchestrator orchestrator{jobs, runner, progress};
  // Drives the progress display every kRefreshInterval ms.
  wxTimer refreshTimer{this};
  // The tray icon's pictures: idle, and the four frames of a run.
  wxIcon idleIcon;
  wxIcon runIcons[4];

 private:
  // Loads the resource archive; on failure tells the user in a message box.
  bool LoadResources();
  void LoadIcons();
  void OnTimer(wxTimerEvent& event);

  // The progress display: there is no tray icon, only the main window.
  void ShowRunIcon(int, const wxString&) override {}
  void ShowIdleIcon(const wxString&) override {}
  bool HasMainWindow() const override;
  void ShowProgress() override;
  void ShowCompletion(BackupJob* job, bool succeeded) override;

  StartOptions options_;
  ResourceFiles resources_;
};

wxDECLARE_APP(ArkivaultApp);
