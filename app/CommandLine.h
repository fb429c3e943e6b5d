// The program's command line: its switches, the optional definition file and
// the usage text. Parsing needs no display and no initialised toolkit: the
// program's entry point parses and chooses between the headless and the
// windowed start with the result.
#pragma once

#include <vector>

#include <wx/cmdline.h>
#include <wx/string.h>

// A command on a job's archives instead of a backup.
enum class ArchiveCommand {
  None,     // a backup run (or an interactive start)
  List,     // "--list": the archives, or the versions of a path
  Restore,  // "--restore DIR": files back into DIR
  Verify,   // "--verify": every archive checked in full
};

// What a command line asks for.
struct StartOptions {
  bool noGui = false;        // "-n": no main window at start (tray only)
  bool incremental = false;  // "-i": a batch run is incremental ("-f" is never consulted)
  bool silent = false;       // "-s": a batch run prints nothing
  bool help = false;         // "-h": print the usage text and end
  wxString definitionFile;   // the first parameter; names the job of a batch run
  ArchiveCommand command = ArchiveCommand::None;
  wxString restoreDirectory;     // "--restore DIR"
  wxString asOf;                 // "--as-of WHEN", as given
  bool overwrite = false;        // "--overwrite"
  std::vector<wxString> paths;   // the parameters after the definition file
  wxString error;                // why the command line cannot be carried out

  bool IsBatch() const { return !definitionFile.empty(); }

  // Only an interactive start opens windows; "-h" and batch runs work without a display.
  bool NeedsDisplay() const { return !help && !IsBatch() && error.empty(); }
};

class CommandLine {
 public:
  CommandLine(int argc, wxChar** argv);

  // Parses the arguments. An unknown option or a missing value is reported on
  // stderr together with the usage text unless `reportErrors` is false;
  // whatever was recognised is returned, and with a definition file such a
  // mistake leaves its reason in StartOptions::error, as do options that do
  // not go together.
  StartOptions Parse(bool reportErrors = true);

  // The usage text: one line per switch and the parameter, then the exit
  // status of a backup, a restore and a verify.
  wxString UsageText() const;

 private:
  wxCmdLineParser parser_;
};
