#include "app/CommandLine.h"

#include <wx/intl.h>
#include <wx/msgout.h>

namespace {

// Sends the parser's messages to stderr while it is installed (the toolkit,
// not yet started, has no message output of its own).
class ErrorOutput : public wxMessageOutputStderr {
 public:
  ErrorOutput()
      : wxMessageOutputStderr(stderr, wxConvUTF8), previous_(wxMessageOutput::Set(this)) {}
  ~ErrorOutput() override { wxMessageOutput::Set(previous_); }

 private:
  wxMessageOutput* previous_;
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
  parser_.AddParam(_("Backup definition file"), wxCMD_LINE_VAL_STRING,
                   wxCMD_LINE_PARAM_OPTIONAL);
}

StartOptions CommandLine::Parse() {
  {
    ErrorOutput errors;
    parser_.Parse(true);
  }
  StartOptions options;
  options.noGui = parser_.Found("n");
  options.incremental = parser_.Found("i");
  options.silent = parser_.Found("s");
  options.help = parser_.Found("h");
  if (parser_.GetParamCount() > 0) options.definitionFile = parser_.GetParam(0);
  return options;
}

wxString CommandLine::UsageText() const {
  return parser_.GetUsageString() + "\n" +
         _("Exit status of a backup: 0 success, 1 failure, 3 success with files that could not "
           "be read.") +
         "\n";
}
