// How a backup run ended, in words a user can act on: whether it succeeded,
// why it failed (the system's or the ZIP writer's reason and the path it
// concerns) and which source files could not be read. The runner fills it
// during a run; the batch run, the main window's completion and the tray
// report it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Paths of one kind of trouble: the first kNamed named, all counted.
struct NamedPaths {
  static constexpr size_t kNamed = 10;

  uint32_t count = 0;
  std::vector<std::string> paths;  // the first kNamed, each "'path' (reason)" or "'path'"

  void Add(const std::string& path, const std::string& reason = "");
};

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
  NamedPaths unreadFolders;       // source folders that could not be listed or entered
  NamedPaths changedFiles;        // stored, but changed while being read: left unstamped
  NamedPaths notDiskBacked;       // not read: no disk-backed files there (proc, sysfs, ...)
  std::vector<std::string> removedArchives;  // earlier archives and backups retention removed

  // Records `reason` about `path` unless an earlier failure was recorded.
  void Fail(const std::string& reason, const std::string& path);

  // Counts a file that could not be read, naming it while there is room.
  void AddSkipped(const std::string& path);

  // Something selected is not in an archive in the state it has now: a file
  // that could not be read, a folder that could not be listed, a file that
  // changed while it was stored.
  bool Incomplete() const;

  // One line about the failure: the reason, then the quoted path when known.
  // Empty when no reason is known.
  std::string FailureText() const;
};
