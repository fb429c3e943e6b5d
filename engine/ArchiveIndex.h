// The plain-text index a backup directory keeps of the archives committed in
// it: one line per archive with its commit time, kind and entry count, so a
// job's history can be read from the target alone.
//
// File `arkivault-index.txt` in the backup directory, one line per archive:
//   <commit time>\t<kind>\t<entries>\t<name>
// commit time: local "YYYY-MM-DD HH:MM:SS"; kind: full, incremental or
// initial; name: the archive's path relative to the backup directory with '/'
// separators, backslash, tab and newline escaped as \\, \t and \n. Lines that
// do not parse (a torn last line included) and names with a ".." component
// are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "platform/Env.h"

enum class ArchiveKind {
  Full,         // written by a full run
  Incremental,  // added to by an incremental run
  Initial,      // created by an incremental run where there was none: every file
};

struct IndexedArchive {
  std::string name;  // relative to the backup directory, '/' separated
  ArchiveKind kind = ArchiveKind::Full;
  wxDateTime committed;  // local time
  uint64_t entries = 0;
};

class ArchiveIndex {
 public:
  static const char* const kFileName;  // "arkivault-index.txt"

  // Reads the index of `backupDirectory`; a missing file gives an empty index.
  static ArchiveIndex Load(platform::Env& env, const std::string& backupDirectory);

  // Load for a run, which writes the index back: in a target other accounts
  // may write, an index that is a link, not a regular file or not the running
  // user's own (planted to steer retention, or a FIFO that would block the
  // run) counts as none.
  static ArchiveIndex LoadOwn(platform::Env& env, const std::string& backupDirectory);

  const std::vector<IndexedArchive>& Archives() const { return archives_; }

  // The line of the archive `name`, or nullptr.
  const IndexedArchive* Find(const std::string& name) const;

  // Adds the line of `archive`, replacing a line of that name.
  void Record(const IndexedArchive& archive);

  // Renames the line `from` (an archive retired or renumbered); replaces a
  // line named `to`. Nothing happens when there is no line `from`.
  void Rename(const std::string& from, const std::string& to);

  void Remove(const std::string& name);

  // Writes the index atomically; false (errno kept) when it could not be written.
  bool Save(platform::Env& env, const std::string& backupDirectory) const;

  // The text of the index file, and back.
  std::string Format() const;
  static ArchiveIndex Parse(const std::string& text);

 private:
  std::vector<IndexedArchive> archives_;
};

// "full", "incremental", "initial".
const char* ArchiveKindName(ArchiveKind kind);
