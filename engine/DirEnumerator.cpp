#include "engine/DirEnumerator.h"

#include <deque>
#include <optional>

#include <wx/intl.h>
#include <wx/log.h>

#include "engine/PathUtil.h"
#include "engine/Wildcard.h"

// An entry to return and, when it was read ahead, its archive attribute.
struct DirEnumerator::Candidate {
  platform::DirEntry entry;
  std::optional<bool> archiveBit;
};

struct DirEnumerator::State {
  std::string directory;
  std::string nativeDirectory;                     // `directory` as the OS takes it
  std::string filespec;
  int flags = 0;
  bool listing = false;                            // a listing has been started
  bool readAhead = false;                          // `pending` holds entries read ahead
  int listError = 0;                               // why the last listing could not start
  std::unique_ptr<platform::DirectoryReader> reader;
  std::deque<Candidate> pending;                   // "." and "..", or entries read ahead
  platform::DirEntry last;                         // the entry examined last
  // Whether `last` carries the archive attribute, read from its stamp the
  // first time it is asked for.
  std::optional<bool> lastArchiveBit;
};

DirEnumerator::DirEnumerator() = default;

DirEnumerator::DirEnumerator(const std::string& directory) { Open(directory); }

DirEnumerator::~DirEnumerator() = default;

bool DirEnumerator::Open(const std::string& directory) {
  state_ = std::make_unique<State>();
  state_->directory = directory;
  state_->nativeDirectory = ToNativeSeparators(directory);
  return true;
}

bool DirEnumerator::IsOpened() const { return state_ != nullptr; }

bool DirEnumerator::GetFirst(std::string* name, const std::string& filespec, int flags) {
  if (!IsOpened()) return false;
  const bool goesOn = state_->readAhead && filespec.empty() && flags == state_->flags;
  state_->readAhead = false;
  if (!goesOn) {
    state_->pending.clear();
    state_->listing = false;
    state_->filespec = filespec;
    state_->flags = flags;
  }
  return Read(name);
}

void DirEnumerator::ReadAhead(int flags, size_t limit,
                              const std::function<bool(const std::string&)>& readsArchiveBit) {
  if (!IsOpened()) return;
  state_->pending.clear();
  state_->filespec.clear();
  state_->flags = flags;
  state_->listing = StartListing(false);
  state_->readAhead = state_->listing;
  Candidate candidate;
  while (state_->listing && state_->pending.size() < limit &&
         state_->reader->NextOfKinds(&candidate.entry, WantedKinds())) {
    const platform::DirEntry& entry = candidate.entry;
    candidate.archiveBit.reset();
    if (entry.info.isRegular && Accepts(entry) && readsArchiveBit(entry.name)) {
      candidate.archiveBit = state_->reader->IsArchiveBitSet(entry);
    }
    state_->pending.push_back(std::move(candidate));
  }
}

bool DirEnumerator::GetNext(std::string* name) {
  if (!IsOpened()) return false;
  return Read(name);
}

uint32_t DirEnumerator::Attributes() const {
  if (!IsOpened()) return 0;
  uint32_t attributes = state_->last.attributes;
  if (HasArchiveAttribute()) attributes |= platform::AttrArchive;
  return attributes;
}

// Reading a stamp costs a call per file, so it is read only when asked for,
// and at most once per entry. Directories never carry the attribute.
bool DirEnumerator::HasArchiveAttribute() const {
  if (!IsOpened() || !state_->last.info.isRegular) return false;
  if (!state_->lastArchiveBit) {
    state_->lastArchiveBit = state_->reader->IsArchiveBitSet(state_->last);
  }
  return *state_->lastArchiveBit;
}

const platform::FileInfo& DirEnumerator::LastEntryInfo() const {
  static const platform::FileInfo kNone;
  return IsOpened() ? state_->last.info : kNone;
}

int DirEnumerator::ListError() const { return IsOpened() ? state_->listError : 0; }

int DirEnumerator::MissedError() const {
  return IsOpened() && state_->reader != nullptr ? state_->reader->Error() : 0;
}

bool DirEnumerator::Exists(const std::string& directory) {
  platform::FileInfo info;
  return platform::Env::Current()->Stat(ToNativeSeparators(directory), &info) == 0 &&
         info.isDirectory;
}

bool DirEnumerator::Read(std::string* name) {
  if (!state_->listing && !StartListing(true)) return false;
  Candidate candidate;
  while (NextCandidate(&candidate)) {
    state_->last = std::move(candidate.entry);
    state_->lastArchiveBit = candidate.archiveBit;
    if (Accepts(state_->last)) {
      *name = state_->last.name;
      return true;
    }
  }
  return false;
}

// Opens the directory; with EnumDotDirs "." and ".." are queued first, since
// the platform's listing never returns them. A directory listed before is
// read again through the same reader, which spares opening it a second time.
// A failure is logged and kept for ListError when `reportsFailure`.
bool DirEnumerator::StartListing(bool reportsFailure) {
  const std::string& native = state_->nativeDirectory;
  int error = 0;
  if (state_->reader != nullptr) {
    state_->reader->Rewind();
  } else {
    error = platform::Env::Current()->OpenDirectory(native, &state_->reader);
  }
  if (error != 0 && !reportsFailure) return false;
  state_->listError = error;
  if (error != 0) {
    wxLogSysError(error, _("Can not enumerate files in directory '%s'"),
                  FileSystemText(state_->directory));
    return false;
  }
  state_->listing = true;
  if ((state_->flags & EnumDotDirs) != 0) {
    for (const char* dotName : {".", ".."}) {
      Candidate dot;
      dot.entry.name = dotName;
      platform::Env::Current()->Stat(JoinPath(native, dotName), &dot.entry.info);
      dot.entry.attributes = platform::AttrDirectory;
      state_->pending.push_back(std::move(dot));
    }
  }
  return true;
}

bool DirEnumerator::NextCandidate(Candidate* candidate) {
  if (!state_->pending.empty()) {
    *candidate = std::move(state_->pending.front());
    state_->pending.pop_front();
    return true;
  }
  candidate->archiveBit.reset();
  return state_->reader != nullptr &&
         state_->reader->NextOfKinds(&candidate->entry, WantedKinds());
}

// Entries the flags can never accept are passed over by the listing itself,
// which spares them a stat.
unsigned DirEnumerator::WantedKinds() const {
  unsigned kinds = 0;
  if ((state_->flags & EnumFiles) != 0) kinds |= platform::KindFile;
  if ((state_->flags & EnumDirs) != 0) kinds |= platform::KindDirectory;
  return kinds;
}

bool DirEnumerator::Accepts(const platform::DirEntry& entry) const {
  const int flags = state_->flags;
  const bool isDirectory = (entry.attributes & platform::AttrDirectory) != 0;
  const bool isHidden = (entry.attributes & (platform::AttrHidden | platform::AttrSystem)) != 0;
  if (!isDirectory && (flags & EnumFiles) == 0) return false;
  if (isDirectory && (flags & EnumDirs) == 0) return false;
  if (isHidden && (flags & EnumHidden) == 0) return false;
  return state_->filespec.empty() || MatchWildcard(state_->filespec, entry.name);
}

void ClearArchiveAttribute(const std::string& path, const platform::FileInfo& seen) {
  platform::Env::Current()->MarkArchived(ToNativeSeparators(path), seen);
}
