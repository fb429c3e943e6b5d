#include "ui/MainFrame.h"

#include <algorithm>

#include <wx/display.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/xrc/xmlres.h>

#include "jobs/BackupJob.h"
#include "ui/AboutDialog.h"
#include "ui/AppCommands.h"
#include "ui/BackupJobDialog.h"
#include "ui/ImageSource.h"
#include "ui/RestoreFrame.h"
#include "ui/RunHistoryDialog.h"
#include "ui/UserPrompts.h"

namespace {

const int kJobImageSize = 32;
// Image list indices: the idle job icon, then the run pictures 1 to kFrames.
const int kJobImage = 0;

int Id(const char* name) { return wxXmlResource::GetXRCID(name); }

wxString Title(const BackupJob& job) { return wxString::FromUTF8(job.BackupTitle); }

// When the job runs next with a run of the given kind, or "none".
wxString NextRunText(BackupJob& job, bool full) {
  const JobSchedule& schedule = full ? job.ScheduleFull : job.ScheduleIncremental;
  if (!job.Active || (schedule.Days & JobSchedule::AllDays) == 0) return _("none");
  const wxDateTime next = full ? job.NextFullBackupTime() : job.NextIncrementalBackupTime();
  return next.IsValid() ? next.Format("%a %Y-%m-%d %H:%M") : _("none");
}

// Columns of the details view after the title.
enum Column { kLastRun = 1, kOutcome, kNextFull, kNextIncremental, kColumns };

}  // namespace

MainFrame::MainFrame(wxWindow* parent, AppCommands& commands, const ImageSource& images)
    : commands_(commands), images_(images) {
  LoadLayout(parent);
  jobList_ = XRCCTRL(*this, "ID_LISTCTRL", wxListCtrl);
  BuildMenus();
  CreateJobImages();
  Centre(wxBOTH);
  SetIcon(images_.LoadIcon("Backup.ico"));

  Bind(wxEVT_MENU, &MainFrame::OnNewJob, this, Id("ID_NEWJOB"));
  Bind(wxEVT_MENU, &MainFrame::OnCopyJob, this, Id("ID_COPYJOB"));
  Bind(wxEVT_MENU, &MainFrame::OnDeleteJob, this, Id("ID_DELETEJOB"));
  Bind(wxEVT_MENU, &MainFrame::OnStartFull, this, Id("ID_STARTFULL"));
  Bind(wxEVT_MENU, &MainFrame::OnStartIncremental, this, Id("ID_STARTINC"));
  Bind(wxEVT_MENU, &MainFrame::OnEditJob, this, Id("ID_EDITJOB"));
  Bind(wxEVT_MENU, &MainFrame::OnHistory, this, Id("ID_HISTORY"));
  Bind(wxEVT_MENU, &MainFrame::OnHelpContents, this, Id("ID_HELPCONTENTS"));
  Bind(wxEVT_MENU, &MainFrame::OnAbout, this, Id("ID_HELPABOUT"));
  Bind(wxEVT_MENU, &MainFrame::OnCancelJob, this, Id("ID_CANCELJOB"));
  Bind(wxEVT_MENU, &MainFrame::OnRestoreFiles, this, Id("ID_RESTOREFILES"));
  Bind(wxEVT_MENU, &MainFrame::OnCloseWindowCommand, this, Id("ID_EXIT"));
  Bind(wxEVT_MENU, &MainFrame::OnShutdown, this, Id("ID_SHUTDOWN"));
  Bind(wxEVT_MENU, &MainFrame::OnStartAtLogin, this, Id("ID_AUTOSTART"));
  Bind(wxEVT_UPDATE_UI, &MainFrame::OnUpdateStartAtLogin, this, Id("ID_AUTOSTART"));
  for (const MenuCommand& command : kViewMenu) {
    Bind(wxEVT_MENU, &MainFrame::OnView, this, CommandId(command));
    Bind(wxEVT_UPDATE_UI, &MainFrame::OnUpdateView, this, CommandId(command));
  }
  for (const MenuCommands* menu : {&kFileMenu, &kHelpMenu}) {
    for (const MenuCommand& command : *menu) {
      if (command.name != nullptr && command.rule != CommandRule::Always) {
        Bind(wxEVT_UPDATE_UI, &MainFrame::OnUpdateCommand, this, CommandId(command));
      }
    }
  }
  const int list = Id("ID_LISTCTRL");
  Bind(wxEVT_LIST_END_LABEL_EDIT, &MainFrame::OnListEndLabelEdit, this, list);
  Bind(wxEVT_LIST_ITEM_ACTIVATED, &MainFrame::OnListItemActivated, this, list);
  Bind(wxEVT_LIST_ITEM_FOCUSED, &MainFrame::OnListItemFocused, this, list);
  Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, &MainFrame::OnListRightClick, this, list);
  Bind(wxEVT_LIST_KEY_DOWN, &MainFrame::OnListKeyDown, this, list);
}

MainFrame::~MainFrame() { commands_.MainWindowDestroyed(); }

void MainFrame::FillJobList() {
  if (jobList_ == nullptr) return;
  ListJobs();
  FitColumns();
}

// The list is built afresh: it lays its icons out only when rows come or go,
// so a title changed in place would stay cut to the width of the old one.
void MainFrame::ListJobs() {
  jobList_->ClearAll();
  const bool details = commands_.DetailsView();
  jobList_->SetSingleStyle(details ? wxLC_REPORT : wxLC_ICON);
  if (details) {
    for (const wxString& heading :
         {_("Job"), _("Last run"), _("Outcome"), _("Next full"), _("Next incremental")}) {
      jobList_->AppendColumn(heading);
    }
  }
  for (const auto& job : commands_.Jobs()) AppendRow(*job);
  ShowRunColumns();
}

void MainFrame::RelistJobs(int row) {
  if (jobList_ == nullptr) return;
  ListJobs();
  if (row >= 0 && row < jobList_->GetItemCount()) {
    jobList_->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                           wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
  }
}

void MainFrame::ShowRunColumns() {
  if (jobList_ == nullptr || !jobList_->InReportView()) return;
  for (int row = 0; row < jobList_->GetItemCount(); ++row) {
    BackupJob& job = *commands_.Jobs()[row];
    const std::vector<RunRecord> runs = commands_.RunsOf(row);
    wxString last = _("none"), outcome;
    if (!runs.empty()) {
      const RunRecord& record = runs.back();
      last = wxString::FromUTF8(RecordTime(record.end).substr(0, 16)) + ", " +
             wxGetTranslation(record.KindText());
      outcome = wxGetTranslation(record.OutcomeText());
    }
    jobList_->SetItem(row, kLastRun, last);
    jobList_->SetItem(row, kOutcome, outcome);
    jobList_->SetItem(row, kNextFull, NextRunText(job, true));
    jobList_->SetItem(row, kNextIncremental, NextRunText(job, false));
  }
  for (int column = 0; column < kColumns; ++column) {
    jobList_->SetColumnWidth(column, wxLIST_AUTOSIZE_USEHEADER);
  }
}

void MainFrame::FitColumns() {
  if (!jobList_->InReportView()) return;
  int wanted = 0;
  for (int column = 0; column < kColumns; ++column) wanted += jobList_->GetColumnWidth(column);
  const int missing = wanted - GetClientSize().x;
  if (missing <= 0) return;
  const wxRect screen = wxDisplay(this).GetClientArea();
  SetSize(std::min(GetSize().x + missing, screen.width), GetSize().y);
  const int overhang = GetScreenRect().GetRight() - screen.GetRight();
  if (overhang > 0) Move(GetPosition().x - overhang, GetPosition().y);
}

void MainFrame::ShowProgress(const RunPresenter& run) {
  if (animatedRow_ == -1) {
    animatedRow_ = jobList_ != nullptr ? run.RunningJobIndex() : -1;
    progressText_ = run.ProgressTitle();
  }
  if (animatedRow_ != -1) SetRowImage(animatedRow_, run.Frame());
  if (GetStatusBar() == nullptr) return;
  SetStatusText(progressText_, 0);
  SetStatusText(run.CountsText(), 1);
}

bool MainFrame::ShowCompletion(const RunPresenter& run) {
  if (GetStatusBar() != nullptr) {
    SetStatusText(run.CompletionText() + " " + run.FinishedAtText(), 0);
    SetStatusText(run.CountsText(), 1);
  }
  if (animatedRow_ != -1) SetRowImage(animatedRow_, kJobImage);
  animatedRow_ = -1;
  ShowRunColumns();
  return true;
}

int MainFrame::SelectedRow() const {
  if (jobList_ == nullptr) return -1;
  return static_cast<int>(jobList_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

CommandState MainFrame::State() const {
  CommandState state;
  state.selectedRow = SelectedRow();
  state.runningRow = commands_.RunningJobIndex();
  state.running = commands_.IsRunning();
  return state;
}

void MainFrame::LoadLayout(wxWindow* parent) {
  if (wxXmlResource::Get()->LoadFrame(this, parent, "ID_MAINFRAME")) return;
  wxLogError(_("Missing wxXmlResource::Get()->Load() in OnInit()?"));
  // Without its layout the frame is still created, empty, so it can be shown and closed.
  Create(parent, wxID_ANY, _("Arkivault"));
}

// The resource's menu bar holds the menus (File first, Help last, View between
// them); their items come from the command table.
void MainFrame::BuildMenus() {
  wxMenuBar* bar = GetMenuBar();
  if (bar != nullptr && bar->GetMenuCount() >= 2) {
    const size_t last = bar->GetMenuCount() - 1;
    AppendCommands(*bar->GetMenu(0), kFileMenu, images_, false);
    if (last >= 2) AppendCommands(*bar->GetMenu(1), kViewMenu, images_, false);
    AppendCommands(*bar->GetMenu(last), kHelpMenu, images_, false);
  }
  AppendCommands(contextMenu_, kContextMenu, images_, true);
}

void MainFrame::CreateJobImages() {
  jobImages_.Create(kJobImageSize, kJobImageSize, false);
  AddJobImage("job.ico");
  for (int frame = 1; frame <= RunPresenter::kFrames; ++frame) {
    AddJobImage(wxString::Format("jobRun%d.ico", frame));
  }
  if (jobList_ == nullptr) return;
  // The details view shows the same pictures in front of the titles.
  jobList_->SetImageList(&jobImages_, wxIMAGE_LIST_NORMAL);
  jobList_->SetImageList(&jobImages_, wxIMAGE_LIST_SMALL);
}

void MainFrame::AddJobImage(const wxString& iconFile) {
  const wxIcon icon = images_.LoadIcon(iconFile);
  // A missing icon file leaves a blank picture, so the images keep their indices.
  if (icon.IsOk()) {
    jobImages_.Add(icon);
  } else {
    jobImages_.Add(wxBitmap(kJobImageSize, kJobImageSize));
  }
}

void MainFrame::SetRowImage(int row, int image) { jobList_->SetItemImage(row, image, image); }

int MainFrame::AppendRow(const BackupJob& job) {
  const long row = jobList_->GetItemCount();
  return static_cast<int>(jobList_->InsertItem(row, Title(job), kJobImage));
}

bool MainFrame::AbortRunOfRow(int row, const wxString& caption) {
  if (row == -1 || row != commands_.RunningJobIndex()) return true;
  if (!AskYesNo(this,
                _("The selected job is currently being processed.\n\n"
                  "Do you want to abort the backup?"),
                caption, wxICON_EXCLAMATION)) {
    return false;
  }
  commands_.AbortRun();
  return true;
}

void MainFrame::DeleteRow(int row) {
  if (!AbortRunOfRow(row, _("Delete Backup Job"))) return;
  const BackupJob& job = *commands_.Jobs()[row];
  if (!AskYesNo(this, wxString::Format(_("Are you sure that you want to delete '%s' ?"), Title(job)),
                _("Delete Job"), wxICON_QUESTION)) {
    return;
  }
  jobList_->DeleteItem(row);
  if (row < animatedRow_) --animatedRow_;
  if (row == animatedRow_) animatedRow_ = -1;
  commands_.DeleteJob(row);
  // The status bar may name the deleted job.
  ClearStatus();
}

void MainFrame::EditRow(int row) {
  if (row == -1 || !AbortRunOfRow(row, _("Edit Backup Job"))) return;
  EditJob(*commands_.Jobs()[row]);
  RelistJobs(row);
}

void MainFrame::EditJob(BackupJob& job) {
  BackupJobDialog dialog(job, commands_);
  dialog.Create(this);
  commands_.SetModalDialogOpen(true);
  commands_.UnscheduleJob(&job);
  if (dialog.ShowModal() == wxID_OK && job.Modified) commands_.SaveJob(job);
  commands_.ScheduleJob(&job);
  commands_.SetModalDialogOpen(false);
}

// A new or copied job stays in the list whether or not its dialog is confirmed.
void MainFrame::OnNewJob(wxCommandEvent&) {
  if (jobList_ == nullptr) return;
  BackupJob& job = *commands_.CreateJob();
  const int row = AppendRow(job);
  EditJob(job);
  RelistJobs(row);
}

void MainFrame::OnCopyJob(wxCommandEvent&) {
  const int row = SelectedRow();
  if (row == -1) return;
  BackupJob* copy = commands_.CopyJob(row);
  if (copy == nullptr) return;
  const int copyRow = AppendRow(*copy);
  EditJob(*copy);
  RelistJobs(copyRow);
}

void MainFrame::OnEditJob(wxCommandEvent&) { EditRow(SelectedRow()); }

void MainFrame::OnListItemActivated(wxListEvent& event) {
  EditRow(static_cast<int>(event.GetIndex()));
}

void MainFrame::OnAbout(wxCommandEvent&) {
  AboutDialog about(this);
  commands_.SetModalDialogOpen(true);
  about.ShowModal();
  commands_.SetModalDialogOpen(false);
}

void MainFrame::OnDeleteJob(wxCommandEvent&) {
  const int row = SelectedRow();
  if (row != -1) DeleteRow(row);
}

void MainFrame::OnStartFull(wxCommandEvent&) { commands_.StartJob(SelectedRow(), true); }

void MainFrame::OnStartIncremental(wxCommandEvent&) { commands_.StartJob(SelectedRow(), false); }

void MainFrame::OnCancelJob(wxCommandEvent&) {
  const int row = SelectedRow();
  if (row == -1 || row != commands_.RunningJobIndex()) return;
  if (AskYesNo(this, _("Are you sure, that you want to cancel the running backup job?"),
               _("Cancel Backup Job"), wxICON_QUESTION)) {
    commands_.AbortRun();
  }
}

void MainFrame::OnRestoreFiles(wxCommandEvent&) { OpenRestoreWindow(); }

// The window has no parent: it stays open when the main window closes.
void MainFrame::OpenRestoreWindow() {
  const int row = SelectedRow();
  if (row == -1) return;
  (new RestoreFrame(*commands_.Jobs()[row], images_))->Show();
}

void MainFrame::OnCloseWindowCommand(wxCommandEvent&) { Close(); }

void MainFrame::OnShutdown(wxCommandEvent&) { commands_.Shutdown(); }

void MainFrame::OnStartAtLogin(wxCommandEvent& event) {
  commands_.SetStartAtLogin(event.IsChecked());
}

void MainFrame::OnUpdateStartAtLogin(wxUpdateUIEvent& event) {
  event.Check(commands_.StartsAtLogin());
}

void MainFrame::OnView(wxCommandEvent& event) {
  const bool details = event.GetId() == CommandId(kViewMenu[1]);
  if (details == commands_.DetailsView()) return;
  commands_.SetDetailsView(details);
  RelistJobs(SelectedRow());
  FitColumns();
}

void MainFrame::OnUpdateView(wxUpdateUIEvent& event) {
  event.Check(commands_.DetailsView() == (event.GetId() == CommandId(kViewMenu[1])));
}

void MainFrame::OnHelpContents(wxCommandEvent&) { commands_.ShowHelpContents(); }

void MainFrame::OnUpdateCommand(wxUpdateUIEvent& event) {
  const MenuCommand* command = FindCommand(event.GetId());
  if (command != nullptr) event.Enable(IsCommandEnabled(command->rule, State()));
}

// A rename is saved at once. A cancelled edit or an empty title renames nothing.
void MainFrame::OnListEndLabelEdit(wxListEvent& event) {
  const long row = event.GetIndex();
  if (event.IsEditCancelled() || row < 0 ||
      static_cast<size_t>(row) >= commands_.Jobs().size()) {
    return;
  }
  const wxString title = event.GetLabel();
  if (title.empty()) {
    event.Veto();
    return;
  }
  BackupJob& job = *commands_.Jobs()[row];
  job.BackupTitle = title.utf8_string();
  job.Modified = true;
  commands_.SaveJob(job);
  // Once the list has taken the new label, laid out for its width.
  CallAfter([this, row] { RelistJobs(static_cast<int>(row)); });
}

// The focused job's last run and next runs, unless a run is being shown.
void MainFrame::OnListItemFocused(wxListEvent& event) {
  ClearStatus();
  const long row = event.GetIndex();
  if (animatedRow_ == -1 && GetStatusBar() != nullptr && row >= 0 &&
      static_cast<size_t>(row) < commands_.Jobs().size()) {
    SetStatusText(JobSummary(static_cast<int>(row)), 0);
  }
  event.Skip();
}

wxString MainFrame::JobSummary(int row) const {
  BackupJob& job = *commands_.Jobs()[row];
  const std::vector<RunRecord> runs = commands_.RunsOf(row);
  wxString last = _("Last run: none");
  if (!runs.empty()) {
    const RunRecord& record = runs.back();
    last = wxString::Format(_("Last run: %s, %s, %s"),
                            wxString::FromUTF8(RecordTime(record.end).substr(0, 16)),
                            record.KindText(), record.OutcomeText());
  }
  return last + wxString::Format(_(". Next full: %s, incremental: %s"), NextRunText(job, true),
                                 NextRunText(job, false));
}

void MainFrame::OnHistory(wxCommandEvent&) {
  const int row = SelectedRow();
  if (row < 0 || static_cast<size_t>(row) >= commands_.Jobs().size()) return;
  RunHistoryDialog dialog(this, Title(*commands_.Jobs()[row]), commands_.RunsOf(row));
  dialog.ShowModal();
}

void MainFrame::ClearStatus() {
  if (GetStatusBar() == nullptr) return;
  SetStatusText(wxString(), 0);
  SetStatusText(wxString(), 1);
}

void MainFrame::OnListRightClick(wxListEvent& event) {
  jobList_->PopupMenu(&contextMenu_, event.GetPoint());
}

void MainFrame::OnListKeyDown(wxListEvent& event) {
  const int row = SelectedRow();
  if (event.GetKeyCode() == WXK_DELETE && row != -1) {
    DeleteRow(row);
  } else {
    event.Skip();
  }
}
