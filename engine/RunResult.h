// How a backup run ended, in words a user can act on: whether it succeeded,
// why it failed (the system's or the ZIP writer's reason and the path it
// concerns) and which source files could not be read. The runner fills it
// during a run; the batch run, the main window's completion and the tray
// report it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
  // How many skipped files are named; the rest are only counted.
  static constexpr size_t kNamedSkipped = 10;

  bool succeeded = true;
  bool cancelled = false;         // a stop request (user, or a signal) ended the run
  std::string failure;            // the first reason the run failed; empty when none is known
  std::string failurePath;        // the file or directory that reason concerns; may be empty
  uint32_t skippedCount = 0;      // source files that could not be read
  uint32_t archivesWritten = 0;   // archives committed and kept
  std::vector<std::string> skippedFiles;  // the first kNamedSkipped of them, full paths

  // Records `reason` about `path` unless an earlier failure was recorded.
  void Fail(const std::string& reason, const std::string& path);

  // Counts a file that could not be read, naming it while there is room.
  void AddSkipped(const std::string& path);

  // One line about the failure: the reason, then the quoted path when known.
  // Empty when no reason is known.
  std::string FailureText() const;
};
