// The application object of a start that needs no display: "-h" prints the
// usage text, a named definition file is run as one batch backup or has its
// archives listed, restored or verified. It is a
// console application of the toolkit, so GTK is never initialised and every
// message goes to stderr through the toolkit's log.
#pragma once

#include <wx/app.h>

#include "app/CommandLine.h"

class HeadlessApp : public wxAppConsole {
 public:
  // `options` come from the command line, which the entry point has parsed;
  // `usageText` is what "-h" prints.
  HeadlessApp(const StartOptions& options, const wxString& usageText)
      : options_(options), usageText_(usageText) {}

  // Names the application and sends the log to stderr.
  bool OnInit() override;

  // Does the work of the command line and returns the exit status: 0 for
  // the usage text and a successful backup, 1 for a missing resource archive,
  // a definition file that is not found and a failed or cancelled backup, 3
  // for a successful backup that could not read some files.
  int OnRun() override;

 private:
  int RunBatch();
  int RunArchiveCommand();

  StartOptions options_;
  wxString usageText_;
};
