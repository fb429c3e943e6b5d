// Arkivault in the notification area: the idle icon, the run animation with
// a three-line progress tooltip, the main window on a click (GTK reports a
// single click where other systems report a double click), and a two-item
// menu on a right click: "Restore Arkivault Window" (bold) and "Shutdown
// Arkivault", which is greyed while a modal dialog is open. A failed run that
// the main window did not start, or a job overdue, turns the icon to a warning.
#pragma once

#include <wx/icon.h>
#include <wx/menu.h>

#include "app/myTaskBarIcon.h"
#include "ui/RunPresenter.h"

class BackupJob;
class ImageSource;

// What the tray icon asks of the application.
class TrayCommands {
 public:
  virtual ~TrayCommands() = default;

  // Creates the main window, restores it from minimised or raises it.
  virtual void RestoreMainWindow() = 0;
  // The row selected in the main window, or -1 (also without the window).
  virtual int SelectedJobRow() const = 0;
  // Opens a restore window for the job selected in the main window.
  virtual void OpenRestoreWindow() = 0;
  virtual bool IsModalDialogOpen() const = 0;
  virtual bool IsRunning() const = 0;
  // Cancels the running backup and waits until it has ended.
  virtual void AbortRun() = 0;
  // Queues the end of the session; the application's Shutdown follows.
  virtual void RequestEndOfSession() = 0;
  // The run that just ended was started from the main window (not by the scheduler).
  virtual bool LastRunStartedFromWindow() const = 0;
};

class ArkivaultTaskBarIcon : public myTaskBarIcon, public RunDisplay {
 public:
  // Shows the idle icon with the tooltip "Arkivault". Neither argument is
  // owned; both must outlive the icon.
  ArkivaultTaskBarIcon(TrayCommands& app, const ImageSource& images);

  // The tray menu, built on first use and kept.
  wxMenu& Menu();

  // RunDisplay: the next run icon with the progress tooltip; the idle icon
  // after a run; the warning icon for a failed run the window did not start,
  // kept until the window is opened or a run succeeds.
  void ShowProgress(const RunPresenter& run) override;
  void ShowIdle(const RunPresenter& run) override;
  bool ShowCompletion(const RunPresenter& run) override;

  // Shows the warning icon with `text` below "Arkivault" in the tooltip,
  // ending in "..." where the tooltip's limit cuts it.
  void ShowWarning(const wxString& text);

  // The warning icon is shown.
  bool Warning() const { return warning_; }

  // Right button: shows the menu.
  void OnRightButtonUp(wxTaskBarIconEvent& event);
  // Click, double click, "Restore Arkivault Window".
  void OnRestore(wxEvent& event);
  // "Shutdown Arkivault": asks first when a backup runs; No changes nothing.
  void OnShutdownCommand(wxCommandEvent& event);

 private:
  void OnUpdateShutdown(wxUpdateUIEvent& event);
  void OnUpdateRestoreFiles(wxUpdateUIEvent& event);

  TrayCommands& app_;
  const ImageSource& images_;
  wxIcon idleIcon_;
  wxIcon runIcons_[RunPresenter::kFrames];
  wxIcon warningIcon_;
  // A run the window did not start failed and nobody has opened the window since.
  bool warning_ = false;
  wxMenu popupMenu_;
  bool menuBuilt_ = false;
  // The finished run already announced, so a later tick does not repeat it.
  unsigned announcedRun_ = 0;
};
