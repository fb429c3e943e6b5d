#include "ui/MainFrame.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/xrc/xmlres.h>

#include "app/ArkivaultApp.h"
#include "engine/BackupProgress.h"
#include "jobs/BackupJob.h"

namespace {

const int kJobImageSize = 32;
// Image list indices: the idle job icon, then the four pictures of a run.
const int kJobImage = 0;
const int kRunImages = 4;

}  // namespace

MainFrame::MainFrame(wxWindow* parent) {
  LoadLayout(parent);
  jobList_ = XRCCTRL(*this, "ID_LISTCTRL", wxListCtrl);
  CreateJobImages();
  Centre(wxBOTH);
  SetIcon(wxGetApp().LoadIcon("Backup.ico"));
}

MainFrame::~MainFrame() { wxGetApp().mainWindow = nullptr; }

void MainFrame::FillJobList(const JobList& jobs) {
  if (jobList_ == nullptr) return;
  for (size_t row = 0; row < jobs.size(); ++row) {
    jobList_->InsertItem(static_cast<long>(row), wxString::FromUTF8(jobs[row]->BackupTitle),
                         kJobImage);
  }
}

void MainFrame::ShowProgress(int runningRow, const BackupJob& job,
                             const BackupProgress& progress) {
  if (animatedRow_ == -1) {
    animatedRow_ = jobList_ != nullptr ? runningRow : -1;
    progressText_ = wxString::Format(_("Processing '%s'..."), wxString::FromUTF8(job.BackupTitle));
  }
  if (animatedRow_ != -1) AdvanceRunImage(animatedRow_);
  ShowStatus(progressText_, progress);
}

void MainFrame::ShowCompletion(const BackupJob& job, bool succeeded,
                               const BackupProgress& progress) {
  const wxString title = wxString::FromUTF8(job.BackupTitle);
  ShowStatus(succeeded ? wxString::Format(_("Backup '%s' completed."), title)
                       : wxString::Format(_("Backup '%s' failed."), title),
             progress);
  if (animatedRow_ != -1) SetRowImage(animatedRow_, kJobImage);
  animatedRow_ = -1;
}

void MainFrame::LoadLayout(wxWindow* parent) {
  if (wxXmlResource::Get()->LoadFrame(this, parent, "ID_MAINFRAME")) return;
  wxLogError(_("Missing wxXmlResource::Get()->Load() in OnInit()?"));
  // Without its layout the frame is still created, empty, so it can be shown and closed.
  Create(parent, wxID_ANY, _("Arkivault"));
}

void MainFrame::CreateJobImages() {
  jobImages_.Create(kJobImageSize, kJobImageSize, false);
  AddJobImage("job.ico");
  for (int frame = 1; frame <= kRunImages; ++frame) {
    AddJobImage(wxString::Format("jobRun%d.ico", frame));
  }
  if (jobList_ != nullptr) jobList_->SetImageList(&jobImages_, wxIMAGE_LIST_NORMAL);
}

void MainFrame::AddJobImage(const wxString& iconFile) {
  const wxIcon icon = wxGetApp().LoadIcon(iconFile);
  // A missing icon file leaves a blank picture, so the images keep their indices.
  if (icon.IsOk()) {
    jobImages_.Add(icon);
  } else {
    jobImages_.Add(wxBitmap(kJobImageSize, kJobImageSize));
  }
}

// Run pictures 1, 2, 3, 4, 1, ...: the job icon or the last picture is
// followed by the first.
void MainFrame::AdvanceRunImage(int row) {
  wxListItem item;
  item.SetId(row);
  item.SetMask(wxLIST_MASK_IMAGE);
  jobList_->GetItem(item);
  const int image = item.GetImage();
  SetRowImage(row, image >= 1 && image < kRunImages ? image + 1 : 1);
}

void MainFrame::SetRowImage(int row, int image) { jobList_->SetItemImage(row, image, image); }

// Field 0 shows `text`, field 1 the files added and the kilobytes read
// (rounded down). A frame without its layout has no status bar.
void MainFrame::ShowStatus(const wxString& text, const BackupProgress& progress) {
  if (GetStatusBar() == nullptr) return;
  SetStatusText(text, 0);
  SetStatusText(wxString::Format(_("%lu files added, %llu kB read"),
                                 static_cast<unsigned long>(progress.filesAdded),
                                 static_cast<unsigned long long>(progress.bytesRead / 1024)),
                1);
}
