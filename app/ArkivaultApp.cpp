#include "app/ArkivaultApp.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include "ui/MainFrame.h"

ArkivaultApp& wxGetApp() { return *static_cast<ArkivaultApp*>(wxApp::GetInstance()); }

bool ArkivaultApp::Initialize(int& argc, wxChar** argv) {
  if (wxApp::Initialize(argc, argv)) return true;
  wxLogError(_("Arkivault needs a display for its windows; \"arkivault FILE\" runs a backup "
               "without one (see \"arkivault -h\")."));
  return false;
}

bool ArkivaultApp::OnInit() {
  // The entry point sent start-up errors to stderr until the toolkit was up;
  // from here on the toolkit's own log shows them in message boxes.
  delete wxLog::SetActiveTarget(nullptr);

  SetAppName(_("Arkivault"));
  if (!LoadResources()) return false;
  LoadIcons();
  wxInitAllImageHandlers();
  if (!options_.noGui) ShowMainWindow();
  return true;
}

int ArkivaultApp::OnExit() {
  wxApp::OnExit();
  return 0;
}

void ArkivaultApp::ShowMainWindow() {
  mainWindow = new MainFrame(nullptr);
  mainWindow->SetSize(500, 350);
  mainWindow->Show();
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
