// What the refresh tick shows a backup's progress on: the tray icon and, when
// it is open, the main window. The application implements it (the two icon
// calls do nothing once the tray icon has been deleted); tests use a
// recording double.
#pragma once

#include <wx/string.h>

class BackupJob;

class ProgressView {
 public:
  virtual ~ProgressView() = default;

  // Shows run icon `iconIndex` (0 to 3, of the four run icons) with `tooltip`.
  virtual void ShowRunIcon(int iconIndex, const wxString& tooltip) = 0;

  // Shows the idle icon with `tooltip`.
  virtual void ShowIdleIcon(const wxString& tooltip) = 0;

  // The main window is open.
  virtual bool HasMainWindow() const = 0;

  // Main window: advance its row animation and status texts.
  virtual void ShowProgress() = 0;

  // Main window: report the end of the run of `job`, which succeeded or failed.
  // The progress values still hold the run's counters while it is called; the
  // caller clears them afterwards, so each end is reported once.
  virtual void ShowCompletion(BackupJob* job, bool succeeded) = 0;
};
