#include "app/ArkivaultTaskBarIcon.h"

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/intl.h>
#include <wx/utils.h>

#include "ui/CommandTable.h"
#include "ui/ImageSource.h"
#include "ui/UserPrompts.h"

namespace {

int RestoreId() { return CommandId(kTrayMenu[0]); }
int RestoreFilesId() { return CommandId(kTrayMenu[1]); }
int ShutdownId() { return CommandId(kTrayMenu.back()); }

}  // namespace

ArkivaultTaskBarIcon::ArkivaultTaskBarIcon(TrayCommands& app, const ImageSource& images)
    : app_(app), images_(images) {
  idleIcon_ = images.LoadIcon("Backup.ico");
  for (int frame = 0; frame < RunPresenter::kFrames; ++frame) {
    runIcons_[frame] = images.LoadIcon(wxString::Format("BackupRun%d.ico", frame + 1));
  }
  warningIcon_ = wxArtProvider::GetIcon(wxART_WARNING, wxART_OTHER, wxSize(24, 24));
  // GTK reports a right click as the button going down, other systems as it going up.
  Bind(myEVT_TASKBAR_RIGHT_UP, &ArkivaultTaskBarIcon::OnRightButtonUp, this);
  Bind(myEVT_TASKBAR_RIGHT_DOWN, &ArkivaultTaskBarIcon::OnRightButtonUp, this);
  Bind(myEVT_TASKBAR_LEFT_DCLICK, &ArkivaultTaskBarIcon::OnRestore, this);
  popupMenu_.Bind(wxEVT_MENU, &ArkivaultTaskBarIcon::OnRestore, this, RestoreId());
  popupMenu_.Bind(wxEVT_MENU, &ArkivaultTaskBarIcon::OnShutdownCommand, this, ShutdownId());
  popupMenu_.Bind(wxEVT_UPDATE_UI, &ArkivaultTaskBarIcon::OnUpdateShutdown, this, ShutdownId());
  popupMenu_.Bind(wxEVT_MENU, [this](wxCommandEvent&) { app_.OpenRestoreWindow(); }, RestoreFilesId());
  popupMenu_.Bind(wxEVT_UPDATE_UI, &ArkivaultTaskBarIcon::OnUpdateRestoreFiles, this,
                  RestoreFilesId());
  SetIcon(idleIcon_, _("Arkivault"));
}

wxMenu& ArkivaultTaskBarIcon::Menu() {
  if (!menuBuilt_) {
    AppendCommands(popupMenu_, kTrayMenu, images_, true);
    menuBuilt_ = true;
  }
  return popupMenu_;
}

void ArkivaultTaskBarIcon::ShowProgress(const RunPresenter& run) {
  SetIcon(runIcons_[run.Frame() - 1], run.TrayTooltip(kTooltipLimit));
}

void ArkivaultTaskBarIcon::ShowIdle(const RunPresenter& run) {
  SetIcon(warning_ ? warningIcon_ : idleIcon_, run.TrayTooltip());
}

bool ArkivaultTaskBarIcon::ShowCompletion(const RunPresenter& run) {
  if (run.RunNumber() == announcedRun_) return false;
  announcedRun_ = run.RunNumber();
  if (!run.LastRunSucceeded() && !app_.LastRunStartedFromWindow()) {
    warning_ = true;
  } else if (run.LastRunSucceeded()) {
    warning_ = false;
  }
  SetIcon(warning_ ? warningIcon_ : idleIcon_, run.TrayTooltip());
  // The main window, when it opens, still reports the end.
  return false;
}

void ArkivaultTaskBarIcon::ShowWarning(const wxString& text) {
  warning_ = true;
  const wxString tooltip = _("Arkivault") + "\n" + text;
  SetIcon(warningIcon_, tooltip.length() <= kTooltipLimit
                            ? tooltip
                            : tooltip.Left(kTooltipLimit - 3) + "...");
}

void ArkivaultTaskBarIcon::OnRightButtonUp(wxTaskBarIconEvent&) {
  // The items are enabled here, before the popup: while it is open the
  // toolkit asks the popup's own window, not the menu, about its items.
  wxMenu& menu = Menu();
  menu.UpdateUI();
  PopupMenu(&menu);
}

void ArkivaultTaskBarIcon::OnRestore(wxEvent&) {
  if (warning_) {
    warning_ = false;
    SetIcon(idleIcon_, Tooltip());
  }
  app_.RestoreMainWindow();
}

void ArkivaultTaskBarIcon::OnShutdownCommand(wxCommandEvent&) {
  if (app_.IsRunning()) {
    if (!AskYesNo(wxTheApp->GetTopWindow(),
                  _("A backup job is currently being processed.\n\n"
                    "Do you want to abort this job?"),
                  "Abort running backup", wxICON_EXCLAMATION)) {
      return;
    }
    wxBusyCursor busy;
    app_.AbortRun();
  }
  app_.RequestEndOfSession();
}

void ArkivaultTaskBarIcon::OnUpdateShutdown(wxUpdateUIEvent& event) {
  CommandState state;
  state.modalDialogOpen = app_.IsModalDialogOpen();
  event.Enable(IsCommandEnabled(kTrayMenu.back().rule, state));
}

void ArkivaultTaskBarIcon::OnUpdateRestoreFiles(wxUpdateUIEvent& event) {
  CommandState state;
  state.selectedRow = app_.SelectedJobRow();
  event.Enable(IsCommandEnabled(kTrayMenu[1].rule, state));
}
