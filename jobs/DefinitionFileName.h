// Names the definition file of a job that has none yet: "BackupDef/" + title +
// ".xml", made safe and unique.
#pragma once

#include <string>

class DefinitionFileName {
 public:
  // The directory that holds the definition files, relative to the current
  // directory. It is never created here.
  static const char* const kDirectory;

  // The file name (without directory) for a job titled `title`: "/" and
  // control characters become "_", ".." becomes "__", a leading "." becomes
  // "_" (no hidden files), an empty title becomes "_", and a long title is cut
  // at a character boundary so that the name fits a file system's limit.
  static std::string BaseName(const std::string& title);

  // Claims a free name in kDirectory for `title` by creating the file empty
  // and exclusively: "Title.xml", else "Title (2).xml", "Title (3).xml", ...
  // Sets `*path` to the claimed path (or the last one tried) and returns 0 or
  // the error that stopped it (ENOENT when the directory does not exist).
  static int ClaimFree(const std::string& title, std::string* path);
};
