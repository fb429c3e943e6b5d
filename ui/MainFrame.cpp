#include "ui/MainFrame.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/xrc/xmlres.h>

#include "app/ArkivaultApp.h"

namespace {

const int kJobImageSize = 32;

}  // namespace

MainFrame::MainFrame(wxWindow* parent) {
  LoadLayout(parent);
  jobList_ = XRCCTRL(*this, "ID_LISTCTRL", wxListCtrl);
  CreateJobImages();
  Centre(wxBOTH);
  SetIcon(wxGetApp().LoadIcon("Backup.ico"));
}

MainFrame::~MainFrame() { wxGetApp().mainWindow = nullptr; }

void MainFrame::LoadLayout(wxWindow* parent) {
  if (wxXmlResource::Get()->LoadFrame(this, parent, "ID_MAINFRAME")) return;
  wxLogError(_("Missing wxXmlResource::Get()->Load() in OnInit()?"));
  // Without its layout the frame is still created, empty, so it can be shown and closed.
  Create(parent, wxID_ANY, _("Arkivault"));
}

void MainFrame::CreateJobImages() {
  jobImages_.Create(kJobImageSize, kJobImageSize, false);
  AddJobImage("job.ico");
  for (int frame = 1; frame <= 4; ++frame) AddJobImage(wxString::Format("jobRun%d.ico", frame));
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
