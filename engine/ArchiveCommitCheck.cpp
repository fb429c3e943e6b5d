#include "engine/ArchiveCommitCheck.h"

#include <cerrno>

#include <wx/intl.h>
#include <wx/log.h>

#include "engine/ArchiveIndex.h"
#include "engine/PathUtil.h"
#include "engine/ReadCallback.h"
#include "engine/ReadProgress.h"
#include "platform/Env.h"
#include "zip/ZipWriter.h"

void ArchiveCommitCheck::Begin(const std::string& baseDir, const std::string& archiveName,
                               const PreparedArchive& prepared, bool fullRun, bool suffixed) {
  baseDir_ = baseDir;
  name_ = archiveName + ".zip";
  prepared_ = prepared;
  fullRun_ = fullRun;
  surelyFirst_ = !suffixed && prepared.fate == ArchiveFate::Created &&
                 RetiredArchivePaths(JoinPath(baseDir, name_)).empty();
  wroteAny_ = false;
  written_.Clear();
}

void ArchiveCommitCheck::NoteWritten(const ZipWriter& archive, const std::string& path) {
  wroteAny_ = true;
  if (prepared_.fate == ArchiveFate::Kept) {
    written_.Insert(archive.PredictNameInArchive(path, false, ZipWriter::PredictAuto));
  }
}

bool ArchiveCommitCheck::AfterCommit(uint64_t entries, const wxDateTime& committed, bool kept,
                                     bool complete, const std::function<bool()>& stopRequested,
                                     std::vector<EntryProblem>* problems) {
  RecordInIndex(entries, committed, kept, complete);
  if (!kept || !wroteAny_) return true;
  ReadProgress progress;
  ReadCallback callback(progress, stopRequested);
  ArchiveVerifier verifier(callback);
  const bool addedTo = prepared_.fate == ArchiveFate::Kept;
  *problems = verifier.Check(JoinPath(baseDir_, name_), addedTo ? &written_ : nullptr);
  wroteAny_ = false;
  written_.Clear();
  return problems->empty() && !verifier.Stopped();
}

// Kind: a full run's archive is full. An incremental run's archive is
// "initial" only where it is surely the first of its name: a job without
// suffix, created where neither the archive nor an index line of it was.
// Otherwise, and whenever its walk did not complete, it is incremental, which
// never passes for a full backup: retention keeps a full one for it. An
// archive added to keeps every entry it had, and so its kind.
void ArchiveCommitCheck::RecordInIndex(uint64_t entries, const wxDateTime& committed, bool kept,
                                       bool complete) const {
  platform::Env& env = *platform::Env::Current();
  const std::string directory = baseDir_.empty() ? "." : baseDir_;
  ArchiveIndex index = ArchiveIndex::LoadOwn(env, directory);
  const bool retired = prepared_.fate == ArchiveFate::Retired && !prepared_.retirePath.empty();
  if (!kept && !retired) return;
  if (retired) index.Rename(name_, prepared_.retirePath.substr(baseDir_.empty() ? 0 : baseDir_.size() + 1));
  if (kept) {
    const IndexedArchive* earlier = index.Find(name_);
    ArchiveKind kind = ArchiveKind::Incremental;
    if (prepared_.fate == ArchiveFate::Kept) {
      if (earlier != nullptr) kind = earlier->kind;
    } else if (!complete) {
      kind = ArchiveKind::Incremental;
    } else if (fullRun_) {
      kind = ArchiveKind::Full;
    } else if (surelyFirst_ && earlier == nullptr) {
      kind = ArchiveKind::Initial;
    }
    index.Record(IndexedArchive{name_, kind, committed, entries});
  }
  if (!index.Save(env, directory)) {
    const int error = errno;
    wxLogError(_("The archive index in \"%s\" could not be written: %s"),
               wxString::FromUTF8(directory), wxString::FromUTF8(platform::ErrorText(error)));
  }
}
