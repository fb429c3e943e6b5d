#include "app/ArkivaultApp.h"

#include <algorithm>
#include <utility>

#include <wx/dialog.h>
#include <wx/html/helpctrl.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "app/HelpController.h"
#include "app/ResourceDirectory.h"
#include "jobs/BackupJob.h"
#include "jobs/DefinitionFileName.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "ui/DialogLog.h"
#include "ui/MainFrame.h"
#include "ui/UserPrompts.h"

ArkivaultApp& wxGetApp() { return *static_cast<ArkivaultApp*>(wxApp::GetInstance()); }

ArkivaultApp::ArkivaultApp(const StartOptions& options) : options_(options) {
  Bind(wxEVT_TIMER, &ArkivaultApp::OnTimer, this, refreshTimer_.GetId());
  Bind(wxEVT_END_SESSION, &ArkivaultApp::OnEndSession, this);
}

ArkivaultApp::~ArkivaultApp() = default;

bool ArkivaultApp::Initialize(int& argc, wxChar** argv) {
  // The entry point sends start-up errors to stderr until the toolkit is up.
  if (wxApp::Initialize(argc, argv)) return true;
  wxLogError(_("Arkivault needs a display for its windows; \"arkivault FILE\" runs a backup "
               "without one (see \"arkivault -h\")."));
  return false;
}

bool ArkivaultApp::OnInit() {
  // From here on the log shows in message boxes that the end of the session
  // can cancel. Not earlier: the toolkit removes the log target when its
  // initialisation ends, and the one it would make itself shows boxes that
  // nothing can close. A target the embedding program set meanwhile stays.
  wxLog* const current = wxLog::SetActiveTarget(nullptr);
  wxLog::SetActiveTarget(current != nullptr ? current : new DialogLog);
  SetAppName(_("Arkivault"));
  // Closing the last window never ends an interactive instance: only
  // Shutdown and the end of the session do (CloseDown ends the main loop).
  SetExitOnFrameDelete(false);
  if (!LoadResources()) return false;
  if (!BecomeRunningInstance()) return handedOver_;
  // From here on SIGTERM, SIGINT and SIGHUP end the session at the next tick.
  signals_ = std::make_unique<platform::TerminationSignals>();
  wxInitAllImageHandlers();
  help_ = std::make_unique<HelpController>();
  help_->Initialize(resources_.Directory() + "/Arkivault");
  ShowTrayIconWhenPossible();
  runner_.RecordRunsIn(&history_);
  const std::vector<RunRecord> runs = history_.Load();
  if (!runs.empty()) {
    presenter_.NoteLastRun(wxString::FromUTF8(runs.back().job),
                           runs.back().outcome == RunRecord::Outcome::Succeeded, runs.back().end);
  }
  jobStore_.LoadJobs();
  if (instance_.Claimed()) instance_.Serve([this] { RestoreMainWindow(); });
  ScheduleAllJobs();
  scheduler_.Start();
  refreshTimer_.Start(kRefreshInterval);
  if (taskBarIcon_ == nullptr) {
    // Without a tray icon a start with "-n" would leave nothing to click.
    ShowMainWindow();
    mainWindow_->SetStatusText(_("No tray: start Arkivault again to reopen this window."));
  } else if (!options_.noGui) {
    ShowMainWindow();
  }
  return true;
}

int ArkivaultApp::OnRun() { return handedOver_ ? 0 : wxApp::OnRun(); }

int ArkivaultApp::OnExit() {
  refreshTimer_.Stop();
  scheduler_.Stop();
  // A running backup reads its job: it ends before the jobs are destroyed.
  runner_.Stop();
  taskBarIcon_.reset();
  instance_.Release();
  jobs_.clear();
  help_.reset();
  signals_.reset();
  wxApp::OnExit();
  return 0;
}

bool ArkivaultApp::BecomeRunningInstance() {
  switch (instance_.Claim()) {
    case SingleInstance::Outcome::Running:
      return true;
    case SingleInstance::Outcome::HandedOver:
      handedOver_ = true;
      return false;
    case SingleInstance::Outcome::NoAnswer:
      wxLogError(_("Arkivault is already running but does not answer."));
      return false;
    case SingleInstance::Outcome::Alone:
      wxLogWarning(_("Arkivault cannot tell whether it is running already: %s"),
                   instance_.Problem());
      return true;
  }
  return true;
}

void ArkivaultApp::ShowMainWindow() {
  if (mainWindow_ == nullptr) {
    mainWindow_ = new MainFrame(nullptr, *this, resources_);
    mainWindow_->SetSize(500, 350);
    mainWindow_->FillJobList();
    if (!unseenWarning_.empty()) mainWindow_->SetStatusText(std::exchange(unseenWarning_, {}), 0);
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

void ArkivaultApp::StartJob(int row, bool full) {
  const bool wasRunning = IsRunning();
  presenter_.StartJob(row, full);
  if (!wasRunning && IsRunning()) windowStartedRun_ = true;
}

bool ArkivaultApp::ScheduledStarter::IsBusy() const { return app_.runner_.IsBusy(); }

bool ArkivaultApp::ScheduledStarter::Start(BackupJob* job, bool full, RunTrigger trigger) {
  if (!app_.runner_.Start(job, full, trigger)) return false;
  app_.windowStartedRun_ = false;
  app_.presenter_.RunStarted();
  return true;
}

int64_t ArkivaultApp::LastSuccess(const BackupJob& job, bool full) const {
  platform::FileInfo definition;
  if (job.DefinitionPath.empty() ||
      platform::Env::Current()->Stat(job.DefinitionPath, &definition) != 0) {
    return platform::Clock::Current()->Now();
  }
  return std::max(definition.mtimeSeconds,
                  history_.LastSuccess(RecordedDefinition(job.DefinitionPath), full));
}

std::vector<RunRecord> ArkivaultApp::RunsOf(int row) const {
  std::vector<RunRecord> runs;
  if (row < 0 || static_cast<size_t>(row) >= jobs_.size()) return runs;
  const BackupJob& job = *jobs_[row];
  const std::string definition = RecordedDefinition(job.DefinitionPath);
  for (RunRecord& record : history_.Load()) {
    // A job not saved yet has no file: its runs are known by its title.
    if (definition.empty() ? record.definition.empty() && record.job == job.BackupTitle
                           : record.definition == definition) {
      runs.push_back(std::move(record));
    }
  }
  return runs;
}

void ArkivaultApp::WarnAboutOverdueJobs() {
  for (const wxString& warning : overdue_.NewWarnings(jobs_, platform::Clock::Current()->Now())) {
    NotifyUser(warning, wxICON_WARNING);
    if (taskBarIcon_ != nullptr) taskBarIcon_->ShowWarning(warning);
    if (mainWindow_ != nullptr) {
      mainWindow_->SetStatusText(warning, 0);
    } else {
      unseenWarning_ = warning;
    }
  }
}

bool ArkivaultApp::IsRunning() const { return presenter_.IsRunning(); }

int ArkivaultApp::RunningJobIndex() const { return presenter_.RunningJobIndex(); }

void ArkivaultApp::AbortRun() { presenter_.AbortRun(); }

void ArkivaultApp::ShowHelpContents() {
  if (help_ != nullptr) help_->DisplayContents();
}

void ArkivaultApp::ShowHelpPage(const wxString& page) {
  if (help_ != nullptr) help_->Display(page);
}

void ArkivaultApp::Shutdown() {
  if (IsRunning()) {
    if (!AskYesNo(mainWindow_,
                  _("A backup job is currently being processed.\n\n"
                    "Do you want to abort this job?"),
                  _("Abort running backup"), wxICON_EXCLAMATION)) {
      return;
    }
    wxBusyCursor busy;
    AbortRun();
  }
  CloseDown();
}

void ArkivaultApp::OnEndSession(wxCloseEvent&) { Shutdown(); }

void ArkivaultApp::SetStartAtLogin(bool start) {
  if (start) {
    // The login starts "arkivault", the program beside this one, as users do.
    platform::Env* env = platform::Env::Current();
    Autostart().Enable(wxString::FromUTF8(env->ExecutableDirectory()) + "/arkivault",
                       wxString::FromUTF8(env->CurrentDirectory()));
  } else {
    Autostart().Disable();
  }
}

void ArkivaultApp::RequestEndOfSession() {
  QueueEvent(new wxCloseEvent(wxEVT_END_SESSION, 0));
}

void ArkivaultApp::RestoreMainWindow() {
  if (mainWindow_ == nullptr) {
    ShowMainWindow();
  } else if (mainWindow_->IsIconized()) {
    mainWindow_->Restore();
  } else {
    mainWindow_->Raise();
  }
}

int ArkivaultApp::SelectedJobRow() const {
  return mainWindow_ != nullptr ? mainWindow_->SelectedRow() : -1;
}

void ArkivaultApp::OpenRestoreWindow() {
  if (mainWindow_ != nullptr) mainWindow_->OpenRestoreWindow();
}

void ArkivaultApp::EndSessionBySignal() {
  // A modal dialog runs its own loop: it is cancelled first (nothing is
  // saved), and the next tick ends the session.
  if (CancelModalDialog()) return;
  if (IsRunning()) AbortRun();
  CloseDown();
}

// Message boxes are toolkit dialogs too (UserPrompts, DialogLog), so every
// modal dialog ends through EndModal.
bool ArkivaultApp::CancelModalDialog() {
  for (wxWindow* window : wxTopLevelWindows) {
    auto* dialog = dynamic_cast<wxDialog*>(window);
    if (dialog != nullptr && dialog->IsModal()) {
      dialog->EndModal(wxID_CANCEL);
      return true;
    }
  }
  return false;
}

void ArkivaultApp::ShowTrayIconWhenPossible() {
  if (taskBarIcon_ == nullptr && !closingDown_ && wxTaskBarIcon::IsAvailable()) {
    taskBarIcon_ = std::make_unique<ArkivaultTaskBarIcon>(*this, resources_);
  }
}

void ArkivaultApp::CloseDown() {
  closingDown_ = true;
  refreshTimer_.Stop();
  if (mainWindow_ != nullptr) mainWindow_->Close(true);
  taskBarIcon_.reset();
  // A help window left open must not keep the process alive.
  ExitMainLoop();
}

bool ArkivaultApp::LoadResources() {
  resources_ = ResourceFiles(ResourceDirectory::Find());
  if (resources_.LoadArchive()) return true;
  wxMessageBox(_("Error loading resource file ") + ResourceDirectory::ArchiveName, _("Error"),
               wxOK | wxCENTRE);
  return false;
}

void ArkivaultApp::OnTimer(wxTimerEvent&) {
  if (signals_ != nullptr && signals_->Requested()) {
    EndSessionBySignal();
    return;
  }
  // A tray host that starts after the program gets the icon within seconds.
  if (++ticks_ % kTrayCheckTicks == 0) ShowTrayIconWhenPossible();
  if (ticks_ % kOverdueCheckTicks == kTrayCheckTicks) WarnAboutOverdueJobs();
  presenter_.OnTimer({mainWindow_, taskBarIcon_.get(), &failedRunNotice_});
  // A scheduled run that waited for the one just ended starts now.
  if (!runner_.IsBusy()) scheduler_.StartWaiting();
}
