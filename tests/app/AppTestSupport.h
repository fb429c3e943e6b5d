// Running the built program as its own process, as a user or cron would.
#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/TempDir.h"

namespace app_test {

// The build tree, where the program and its res/ directory are.
inline std::string BinaryDir() {
  const char* dir = std::getenv("ARKIVAULT_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

inline std::string Program() { return BinaryDir() + "/arkivault"; }

struct ProcessResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` (shell words) in `directory` with no
// display at all, unless `display` names one, and collects both streams.
inline ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                                const std::string& directory,
                                const std::string& display = std::string()) {
  testing_support::TempDir scratch;
  const std::string errFile = scratch / "stderr";
  const std::string environment = display.empty()
                                      ? "env -u DISPLAY -u WAYLAND_DISPLAY"
                                      : "env -u WAYLAND_DISPLAY DISPLAY=" + display;
  ProcessResult result;
  result.status = testing_support::RunCommand(
      "( cd " + testing_support::ShellQuote(directory) + " && " + environment + " timeout 60 " +
          testing_support::ShellQuote(program) + " " + arguments + " 2>" +
          testing_support::ShellQuote(errFile) + " )",
      &result.out);
  result.err = testing_support::ReadFile(errFile);
  return result;
}

// A definition file: the job `title` saves every file of `source` into an
// archive named after it in `target`; `schedules` goes inside its BackupDef
// element.
inline std::string JobDefinition(const std::string& title, const std::string& source,
                                 const std::string& target,
                                 const std::string& schedules = std::string()) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Arkivault>\n"
         " <BackupDef BackupTitle=\"" + title + "\" BackupName=\"" + title + "\" Suffix=\"None\""
         " SourceRootPath=\"" + source + "\" TargetPath=\"" + target + "\" NoOverwrite=\"No\">\n"
         "  <IncludeFilePatterns><Pattern Pattern=\"*\"/></IncludeFilePatterns>\n"
         "  <IncludeDirPatterns><Pattern Pattern=\"*\"/></IncludeDirPatterns>\n" + schedules +
         " </BackupDef>\n</Arkivault>\n";
}

}  // namespace app_test
