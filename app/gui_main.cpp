// The windowed program's entry point: the program "arkivault" replaces itself
// by this one for an interactive start (main window, tray icon, scheduler),
// with the same arguments, which it has already checked and reported on.
#include <wx/app.h>
#include <wx/init.h>

#include "app/ArkivaultApp.h"
#include "app/CommandLine.h"
#include "app/StderrLog.h"
#include "app/WideArguments.h"

int main(int argc, char** argv) {
  wxApp::CheckBuildOptions(WX_BUILD_OPTIONS_SIGNATURE, "Arkivault");
  WideArguments arguments(argc, argv);
  const StartOptions options =
      CommandLine(arguments.Count(), arguments.Values()).Parse(/*reportErrors=*/false);
  // Until GTK is up, a failure to start it (no display) is reported on stderr.
  wxLog::SetActiveTarget(new StderrLog);
  wxApp::SetInstance(new ArkivaultApp(options));
  return wxEntry(arguments.Count(), arguments.Values());
}
