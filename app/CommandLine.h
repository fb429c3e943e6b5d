// The program's command line: its switches, the optional definition file and
// the usage text. Parsing needs no display and no initialised toolkit: the
// entry point parses once and chooses between the headless and the windowed
// start with the result.
#pragma once

#include <wx/cmdline.h>
#include <wx/string.h>

// What a command line asks for.
struct StartOptions {
  bool noGui = false;        // "-n": no main window at start (tray only)
  bool incremental = false;  // "-i": a batch run is incremental ("-f" is never consulted)
  bool silent = false;       // "-s": a batch run prints nothing
  bool help = false;         // "-h": print the usage text and end
  wxString definitionFile;   // the parameter; names the job of a batch run

  bool IsBatch() const { return !definitionFile.empty(); }

  // Only an interactive start opens windows; "-h" and batch runs work without a display.
  bool NeedsDisplay() const { return !help && !IsBatch(); }
};

class CommandLine {
 public:
  CommandLine(int argc, wxChar** argv);

  // Parses the arguments. An unknown option or a surplus parameter is
  // reported on stderr together with the usage text; whatever was recognised
  // is returned.
  StartOptions Parse();

  // The usage text: one line per switch and the parameter, then the exit
  // status of a backup.
  wxString UsageText() const;

 private:
  wxCmdLineParser parser_;
};
