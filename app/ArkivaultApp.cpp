#include "app/ArkivaultApp.h"

#include <wx/html/helpctrl.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include "jobs/BackupJob.h"
#include "jobs/DefinitionFileName.h"
#include "platform/Env.h"
#include "ui/MainFrame.h"

ArkivaultApp& wxGetApp() { return *static_cast<ArkivaultApp*>(wxApp::GetInstance()); }

ArkivaultApp::ArkivaultApp(const StartOptions& options) : options_(options) {
  Bind(wxEVT_TIMER, &ArkivaultApp::OnTimer, this, refreshTimer_.GetId());
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
  wxInitAllImageHandlers();
  help_ = std::make_unique<wxHtmlHelpController>();
  help_->Initialize(resources_.Directory() + "/Arkivault");
  jobStore_.LoadJobs();
  ScheduleAllJobs();
  scheduler_.Start();
  refreshTimer_.Start(kRefreshInterval);
  if (!options_.noGui) ShowMainWindow();
  return true;
}

int ArkivaultApp::OnExit() {
  refreshTimer_.Stop();
  scheduler_.Stop();
  // A running backup reads its job: it ends before the jobs are destroyed.
  runner_.Stop();
  jobs_.clear();
  help_.reset();
  wxApp::OnExit();
  return 0;
}

void ArkivaultApp::ShowMainWindow() {
  if (mainWindow_ == nullptr) {
    mainWindow_ = new MainFrame(nullptr, *this, resources_);
    mainWindow_->SetSize(500, 350);
    mainWindow_->FillJobList();
  }
  mainWindow_->Show();
  mainWindow_->Raise();
}

void ArkivaultApp::ScheduleAllJobs() {
  for (const auto& job : jobs_) scheduler_.ScheduleJob(job.get());
}

BackupJob* ArkivaultApp::CreateJob() { return jobStore_.CreateJob(); }

BackupJob* ArkivaultApp::CopyJob(int row) {
  return row < 0 ? nullptr : jobStore_.CopyJob(static_cast<size_t>(row));
}

void ArkivaultApp::DeleteJob(int row) {
  if (row < 0 || static_cast<size_t>(row) >= jobs_.size()) return;
  presenter_.ForgetJob(jobs_[row].get());
  jobStore_.DeleteJob(static_cast<size_t>(row));
}

// The first job a user creates makes the directory of definition files.
bool ArkivaultApp::SaveJob(BackupJob& job) {
  if (job.DefinitionPath.empty()) {
    platform::Env::Current()->CreateDirectory(DefinitionFileName::kDirectory);
  }
  return job.Save();
}

void ArkivaultApp::UnscheduleJob(BackupJob* job) { scheduler_.UnscheduleJob(job); }

void ArkivaultApp::ScheduleJob(BackupJob* job) { scheduler_.ScheduleJob(job); }

void ArkivaultApp::StartJob(int row, bool full) { presenter_.StartJob(row, full); }

bool ArkivaultApp::IsRunning() const { return presenter_.IsRunning(); }

int ArkivaultApp::RunningJobIndex() const { return presenter_.RunningJobIndex(); }

void ArkivaultApp::AbortRun() { presenter_.AbortRun(); }

void ArkivaultApp::ShowHelpContents() {
  if (help_ != nullptr) help_->DisplayContents();
}

void ArkivaultApp::Shutdown() {
  if (mainWindow_ != nullptr) mainWindow_->Close(true);
  ExitMainLoop();
}

bool ArkivaultApp::LoadResources() {
  resources_ = ResourceFiles(ResourceFiles::FindDirectory());
  if (resources_.LoadArchive()) return true;
  wxMessageBox(_("Error loading resource file ") + ResourceFiles::ArchiveName, _("Error"),
               wxOK | wxCENTRE);
  return false;
}

void ArkivaultApp::OnTimer(wxTimerEvent&) { presenter_.OnTimer({mainWindow_}); }
