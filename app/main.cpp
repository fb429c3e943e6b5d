// The process entry point. It parses the command line before the toolkit is
// initialised (reporting errors on stderr) and picks the application object:
// "-h" and batch runs get the console application HeadlessApp (GTK is never
// started, so they work without a display), every other start gets the
// windowed ArkivaultApp. Either then runs through the toolkit's entry
// function, whose result is the exit status.
#include <vector>

#include <wx/app.h>
#include <wx/strconv.h>

#include "app/ArkivaultApp.h"
#include "app/CommandLine.h"
#include "app/HeadlessApp.h"
#include "app/StderrLog.h"
#include "engine/PathUtil.h"

namespace {

// The arguments as the toolkit's wide strings, decoded as UTF-8 whatever the
// locale says. Bytes that are not UTF-8 are carried losslessly (PathText), so
// a definition file named with them is found under its own bytes.
class WideArguments {
 public:
  WideArguments(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
      const wxString text = PathText(argv[i]);
      texts_.push_back(text.wc_str());
    }
    for (std::wstring& text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
    count_ = argc;
  }

  int& Count() { return count_; }
  wxChar** Values() { return pointers_.data(); }

 private:
  std::vector<std::wstring> texts_;
  std::vector<wxChar*> pointers_;
  int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  wxAppConsole::CheckBuildOptions(WX_BUILD_OPTIONS_SIGNATURE, "Arkivault");
  WideArguments arguments(argc, argv);
  CommandLine commandLine(arguments.Count(), arguments.Values());
  const StartOptions options = commandLine.Parse();
  if (options.NeedsDisplay()) {
    // Until GTK is up, a failure to start it (no display) is reported on stderr.
    wxLog::SetActiveTarget(new StderrLog);
    wxApp::SetInstance(new ArkivaultApp(options));
  } else {
    wxApp::SetInstance(new HeadlessApp(options, commandLine.UsageText()));
  }
  return wxEntry(arguments.Count(), arguments.Values());
}
