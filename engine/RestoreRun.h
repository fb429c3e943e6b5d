// Restores a job's files as of a moment into a destination directory: for
// each selected path the version from the newest archive committed at or
// before the moment, with its stored modification time and Unix mode. An
// existing file is kept, and an existing folder keeps its mode and time,
// unless overwriting was asked for. Names are checked
// per entry and nothing is created outside the destination, nor through a
// symbolic link in it. Each file is written under a temporary name beside its
// place and renamed there only when complete, so a failure or a stop never
// leaves a partial file looking complete.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "platform/Env.h"

class ArchiveCatalogue;
class ReadCallback;
class ZipReader;
struct StoredVersion;

struct RestoreRequest {
  std::string destination;         // created when missing
  wxDateTime asOf;                 // invalid: the newest of every path
  bool overwrite = false;          // replace existing files
  std::vector<std::string> paths;  // files and folders relative to the source root; empty: all
};

enum class RestoreStatus {
  Restored,
  Skipped,  // the file exists and overwriting was not asked for
  Refused,  // its name is unsafe, or the way to it passes a symbolic link
  Failed,   // damaged in the archive, or it could not be written
};

struct RestoreOutcome {
  std::string path;  // relative to the destination (or the requested path)
  RestoreStatus status = RestoreStatus::Restored;
  std::string reason;  // empty for Restored
};

struct RestoreResult {
  uint64_t restored = 0;
  bool cancelled = false;
  std::vector<RestoreOutcome> problems;  // every file not restored, in order

  // 0 everything restored, 3 done with files skipped, 1 any other problem.
  int ExitStatus() const;
};

class RestoreRun {
 public:
  // `callback` (not owned) counts progress and may stop the restore.
  RestoreRun(platform::Env& env, ReadCallback& callback) : env_(env), callback_(callback) {}

  RestoreResult Run(const ArchiveCatalogue& catalogue, const RestoreRequest& request);

 private:
  // Makes the directories of `relative` below the destination (all of its
  // components with `includingLast`); the reason when it cannot, or when the
  // way passes a symbolic link or something that is not a directory.
  RestoreOutcome PrepareDirectories(const std::string& relative, bool includingLast);
  RestoreOutcome RestoreFile(ZipReader& reader, const std::string& relative,
                             const StoredVersion& version);

  platform::Env& env_;
  ReadCallback& callback_;
  RestoreRequest request_;
  std::set<std::string> directoriesReady_;  // relative directories checked or made
  std::set<std::string> directoriesMade_;   // those this restore made
};
