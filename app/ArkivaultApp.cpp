#include "app/ArkivaultApp.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include "jobs/BackupJob.h"
#include "ui/MainFrame.h"

ArkivaultApp& wxGetApp() { return *static_cast<ArkivaultApp*>(wxApp::GetInstance()); }

ArkivaultApp::ArkivaultApp(const StartOptions& options) : options_(options) {
  Bind(wxEVT_TIMER, &ArkivaultApp::OnTimer, this, refreshTimer.GetId());
}

ArkivaultApp::~ArkivaultApp() = default;

bool ArkivaultApp::Initialize(int& argc, wxChar** argv) {
  if (wxApp::Initialize(argc, argv)) {
    // The entry point sent start-up errors to stderr until the toolkit was
    // up; from here on the toolkit's own log shows them in message boxes.
    delete wxLog::SetActiveTarget(nullptr);
    return true;
  }
  wxLogError(_("Arkivault needs a display for its windows; \"arkivault FILE\" runs a backup "
               "without one (see \"arkivault -h\")."));
  return false;
}

bool ArkivaultApp::OnInit() {
  SetAppName(_("Arkivault"));
  if (!LoadResources()) return false;
  LoadIcons();
  wxInitAllImageHandlers();
  jobStore.LoadJobs();
  ScheduleAllJobs();
  scheduler.Start();
  refreshTimer.Start(kRefreshInterval);
  if (!options_.noGui) ShowMainWindow();
  return true;
}

int ArkivaultApp::OnExit() {
  refreshTimer.Stop();
  scheduler.Stop();
  // A running backup reads its job: it ends before the jobs are destroyed.
  runner.Stop();
  jobs.clear();
  wxApp::OnExit();
  return 0;
}

void ArkivaultApp::ShowMainWindow() {
  mainWindow = new MainFrame(nullptr);
  mainWindow->SetSize(500, 350);
  mainWindow->FillJobList(jobs);
  mainWindow->Show();
}

void ArkivaultApp::ScheduleAllJobs() {
  for (const auto& job : jobs) scheduler.ScheduleJob(job.get());
}

wxIcon ArkivaultApp::LoadIcon(const wxString& name) const { return resources_.LoadIcon(name); }

wxImage ArkivaultApp::LoadResourceImage(const wxString& name, wxBitmapType type) const {
  return resources_.LoadImage(name, type);
}

bool ArkivaultApp::LoadResources() {
  resources_ = ResourceFiles(ResourceFiles::FindDirectory());
  if (resources_.LoadArchive()) return true;
  wxMessageBox(_("Error loading resource file ") + ResourceFiles::ArchiveName, _("Error"),
               wxOK | wxCENTRE);
  return false;
}

void ArkivaultApp::LoadIcons() {
  idleIcon = LoadIcon("Backup.ico");
  for (int frame = 0; frame < 4; ++frame) {
    runIcons[frame] = LoadIcon(wxString::Format("BackupRun%d.ico", frame + 1));
  }
}

void ArkivaultApp::OnTimer(wxTimerEvent&) { orchestrator.OnTimer(*this); }

bool ArkivaultApp::HasMainWindow() const { return mainWindow != nullptr; }

void ArkivaultApp::ShowProgress() {
  // The run may have ended since the tick looked; the next tick reports its end.
  const BackupJob* running = runner.RunningJob();
  if (running == nullptr) return;
  mainWindow->ShowProgress(orchestrator.RunningJobIndex(), *running, progress);
}

void ArkivaultApp::ShowCompletion(BackupJob* job, bool succeeded) {
  mainWindow->ShowCompletion(*job, succeeded, progress);
}
