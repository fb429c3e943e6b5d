#include "app/CommandLine.h"

#include <wx/intl.h>
#include <wx/msgout.h>

namespace {

// Gives the parser `output` for its messages while it exists (the toolkit,
// not yet started, has no message output of its own).
class ScopedMessageOutput {
 public:
  explicit ScopedMessageOutput(wxMessageOutput* output)
      : previous_(wxMessageOutput::Set(output)) {}
  ~ScopedMessageOutput() { wxMessageOutput::Set(previous_); }

 private:
  wxMessageOutput* previous_;
};

class DiscardedOutput : public wxMessageOutput {
 public:
  void Output(const wxString&) override {}
};

}  // namespace

CommandLine::CommandLine(int argc, wxChar** argv) : parser_(argc, argv) {
  // Every switch is an ordinary one: "-h" too is recognised by this program,
  // not by the parser's own help handling.
  parser_.AddSwitch("n", "nogui", _("Don't show application window"));
  parser_.AddSwitch("f", "full", _("Full backup (default)"));
  parser_.AddSwitch("i", "incremental", _("Incremental backup"));
  parser_.AddSwitch("s", "silent", _("Don't display any status messages"));
  parser_.AddSwitch("h", "help", _("This help text"));
  parser_.AddSwitch("", "list", _("List the job's archives, or the versions of PATH"));
  parser_.AddOption("", "restore", _("Restore the job's files (or PATH...) into DIR"),
                    wxCMD_LINE_VAL_STRING);
  parser_.AddOption("", "as-of", _("List or restore as of WHEN: 2026-12-02, "
                                   "\"2026-12-02 14:30\", \"2026-12-02 14:30:15\" or yesterday"),
                    wxCMD_LINE_VAL_STRING);
  parser_.AddSwitch("", "overwrite", _("Let a restore replace existing files"));
  parser_.AddSwitch("", "verify", _("Check every archive of the job in full"));
  parser_.AddParam(_("Backup definition file"), wxCMD_LINE_VAL_STRING,
                   wxCMD_LINE_PARAM_OPTIONAL);
  parser_.AddParam(_("PATH"), wxCMD_LINE_VAL_STRING,
                   wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE);
}

StartOptions CommandLine::Parse(bool reportErrors) {
  StartOptions options;
  bool parsed = true;
  {
    wxMessageOutputStderr toStderr(stderr, wxConvUTF8);
    DiscardedOutput discarded;
    ScopedMessageOutput output(reportErrors ? static_cast<wxMessageOutput*>(&toStderr)
                                            : &discarded);
    parsed = parser_.Parse(false) == 0;
    // A batch line's mistake is shown with the usage text as an error below.
    if (!parsed && (parser_.GetParamCount() == 0 || parser_.GetParam(0).empty())) parser_.Usage();
  }
  options.noGui = parser_.Found("n");
  options.incremental = parser_.Found("i");
  options.silent = parser_.Found("s");
  options.help = parser_.Found("h");
  if (parser_.GetParamCount() > 0) options.definitionFile = parser_.GetParam(0);
  for (size_t i = 1; i < parser_.GetParamCount(); ++i) options.paths.push_back(parser_.GetParam(i));
  const int commands = parser_.Found("list") + parser_.Found("restore", &options.restoreDirectory) +
                       parser_.Found("verify");
  if (parser_.Found("list")) options.command = ArchiveCommand::List;
  if (parser_.Found("restore")) options.command = ArchiveCommand::Restore;
  if (parser_.Found("verify")) options.command = ArchiveCommand::Verify;
  const bool asOf = parser_.Found("as-of", &options.asOf);
  options.overwrite = parser_.Found("overwrite");
  if (!parsed && options.IsBatch()) {
    // A batch run from a line with a mistake (a switch it does not know, a
    // restore without its folder) would back up, and may retire archives,
    // where something else was meant.
    options.error = _("Nothing was run: the command line has a mistake.");
  } else if (commands > 1) {
    options.error = _("--list, --restore and --verify cannot be combined.");
  } else if (options.command != ArchiveCommand::None && options.definitionFile.empty()) {
    options.error = _("--list, --restore and --verify need a backup definition file.");
  } else if (asOf && options.command != ArchiveCommand::List &&
             options.command != ArchiveCommand::Restore) {
    options.error = _("--as-of goes with --list or --restore.");
  } else if (options.overwrite && options.command != ArchiveCommand::Restore) {
    options.error = _("--overwrite goes with --restore.");
  } else if (options.paths.size() > (options.command == ArchiveCommand::Restore   ? SIZE_MAX
                                     : options.command == ArchiveCommand::List ? 1u
                                                                               : 0u)) {
    options.error = _("Too many parameters.");
  }
  return options;
}

wxString CommandLine::UsageText() const {
  return parser_.GetUsageString() + "\n" +
         _("Exit status of a backup: 0 success, 1 failure, 3 success with files that could not "
           "be read.") +
         "\n" +
         _("Exit status of a restore: 0 all restored, 1 failure, 3 done with files skipped "
           "(each named). Of a verify: 0 every archive sound, 1 damage found or an archive "
           "unreadable.") +
         "\n";
}
