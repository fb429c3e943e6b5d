// The application object of an interactive start: it owns the program's
// long-lived objects and the main window pointer, loads the resources and
// enters the toolkit's main loop. "-h" and batch runs never create it (see
// HeadlessApp), so it always runs with a display.
#pragma once

#include <wx/app.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "app/CommandLine.h"
#include "app/ResourceFiles.h"
#include "engine/BackupProgress.h"

class MainFrame;

class ArkivaultApp : public wxApp {
 public:
  // `options` come from the command line, which the entry point has parsed.
  explicit ArkivaultApp(const StartOptions& options) : options_(options) {}

  // Starts the toolkit (GTK); without a display it says so and fails.
  bool Initialize(int& argc, wxChar** argv) override;

  // The start-up sequence: resource archive, icons, image handlers and,
  // unless "-n" was given, the main window. False ends the process without
  // entering the main loop.
  bool OnInit() override;

  // Releases what the start-up created; always 0.
  int OnExit() override;

  // Creates the main window, keeps it as `mainWindow` and shows it.
  void ShowMainWindow();

  // The icon file `name` of the resource directory; empty when it is missing.
  wxIcon LoadIcon(const wxString& name) const;

  // The image `name` of the resource archive ("Arkivault.xrs$" + name)
  // decoded as `type`; empty, without a message, when it is missing.
  wxImage LoadResourceImage(const wxString& name, wxBitmapType type) const;

  // The open main window, or null; the window clears it when it is destroyed.
  MainFrame* mainWindow = nullptr;
  // True while a modal dialog of the program is shown.
  bool modalDialogOpen = false;
  // The tray icon's pictures: idle, and the four frames of a run.
  wxIcon idleIcon;
  wxIcon runIcons[4];
  // Files added, bytes read and the finished job of the current or last run.
  BackupProgress progress;

 private:
  // Loads the resource archive; on failure tells the user in a message box.
  bool LoadResources();
  void LoadIcons();

  StartOptions options_;
  ResourceFiles resources_;
};

wxDECLARE_APP(ArkivaultApp);
