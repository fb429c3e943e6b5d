// The program's entry point. It parses the command line before the toolkit is
// initialised (reporting errors on stderr). "-h", batch runs and the archive
// commands run here, in the console application HeadlessApp: GTK is never
// started, so they work without a display, and the window libraries are not
// even loaded, which keeps a run's memory and start-up small. An interactive
// start replaces this process by the windowed program beside it
// ("arkivault-gui"), with the same arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <wx/app.h>
#include <wx/init.h>

#include "app/CommandLine.h"
#include "app/HeadlessApp.h"
#include "app/WideArguments.h"
#include "platform/Env.h"

namespace {

int StartWindowedProgram(char** argv) {
  platform::Env* env = platform::Env::Current();
  const std::string program = env->ExecutableDirectory() + "/arkivault-gui";
  const int error = env->ReplaceProcess(program, argv);
  std::fprintf(stderr, "Cannot start the windowed program '%s': %s\n", program.c_str(),
               std::strerror(error));
  return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
  wxAppConsole::CheckBuildOptions(WX_BUILD_OPTIONS_SIGNATURE, "Arkivault");
  WideArguments arguments(argc, argv);
  CommandLine commandLine(arguments.Count(), arguments.Values());
  const StartOptions options = commandLine.Parse();
  if (options.NeedsDisplay()) return StartWindowedProgram(argv);
  wxAppConsole::SetInstance(new HeadlessApp(options, commandLine.UsageText()));
  return wxEntry(arguments.Count(), arguments.Values());
}
