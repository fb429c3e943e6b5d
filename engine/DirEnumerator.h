// Lists one directory with filters for files, directories and hidden entries,
// and keeps the attribute word and file information of the entry it returned
// last, which drive the selection of incremental backups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Env.h"

class DirEnumerator {
 public:
  enum Flags {
    EnumFiles = 1,    // return non-directories
    EnumDirs = 2,     // return directories
    EnumHidden = 4,   // also return hidden entries
    EnumDotDirs = 8,  // also return "." and ".."
  };

  DirEnumerator();
  // Calls Open(directory).
  explicit DirEnumerator(const std::string& directory);
  ~DirEnumerator();
  DirEnumerator(const DirEnumerator&) = delete;
  DirEnumerator& operator=(const DirEnumerator&) = delete;

  // Drops any previous listing and prepares one of `directory`. Does not check
  // that the directory exists; always true.
  bool Open(const std::string& directory);
  bool IsOpened() const;

  // Restarts the listing with `filespec` (a case-insensitive wildcard the name
  // must match; empty for every name) and `flags`, and reads the first entry
  // into `*name` (the bare name). False when not opened, when nothing matches,
  // or when the directory cannot be listed; the last case is logged.
  bool GetFirst(std::string* name, const std::string& filespec, int flags);
  // Reads the next entry into `*name`; false at the end or when not opened.
  bool GetNext(std::string* name);

  // Starts a listing with `flags` and no filespec and reads up to `limit`
  // entries ahead, with the archive attribute of each file whose name
  // `readsArchiveBit` accepts; the GetFirst with the same flags that follows
  // returns them first and goes on from there. A directory that cannot be
  // listed is not logged: that GetFirst tries again and says why. Meant to
  // run on another thread than the one that goes on with the listing.
  void ReadAhead(int flags, size_t limit,
                 const std::function<bool(const std::string&)>& readsArchiveBit);

  // The attribute word (platform::FileAttribute bits) of the entry returned last.
  uint32_t Attributes() const;
  // The entry returned last is a file that carries the archive attribute. Its
  // stamp is read on the first call for each entry (compared with the state
  // seen when it was listed), so callers that do not need it pay nothing.
  bool HasArchiveAttribute() const;
  // What the file system said about the entry returned last, as seen when it
  // was listed (before anything was read from it).
  const platform::FileInfo& LastEntryInfo() const;

  // The reason (an errno value) the last listing could not be started; 0
  // when it could.
  int ListError() const;

  // The reason (an errno value) a listing left out an entry it could not look
  // at, or ended early on a failed read; 0 when it left out nothing.
  int MissedError() const;

  // `directory` exists and is a directory.
  static bool Exists(const std::string& directory);

 private:
  struct State;
  struct Candidate;
  bool Read(std::string* name);
  bool StartListing(bool reportsFailure);
  bool NextCandidate(Candidate* candidate);
  bool Accepts(const platform::DirEntry& entry) const;
  unsigned WantedKinds() const;

  std::unique_ptr<State> state_;
};

// Stamps the file at `path` as stored in the state `seen` (as listed, before it
// was read), which clears its archive attribute for as long as it stays in that
// state. Failures are silent: the file is then simply taken again next time.
void ClearArchiveAttribute(const std::string& path, const platform::FileInfo& seen);
