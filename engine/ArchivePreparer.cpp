#include "engine/ArchivePreparer.h"

#include <cstdio>
#include <vector>

#include <wx/intl.h>

#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"
#include "platform/Env.h"
#include "zip/ZipPlatform.h"
#include "zip/ZipWriter.h"

namespace {

bool IsExistingFile(const std::string& path) {
  platform::FileInfo info;
  return platform::Env::Current()->Stat(path, &info) == 0 && !info.isDirectory;
}

// Nothing at all is there, not even a dangling link.
bool PathIsFree(const std::string& path) {
  platform::FileInfo info;
  return platform::Env::Current()->LinkStat(path, &info) != 0;
}

// `path` up to (not including) its last '/'; empty when it has none.
std::string ParentOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// "<stem> (old n).zip", built on bytes so that any file name survives.
std::string OldArchiveName(const std::string& stem, int n) {
  const std::string format = wxString(_("%s (old %i).zip")).ToStdString(wxConvUTF8);
  std::vector<char> buffer(stem.size() + format.size() + 16);
  std::snprintf(buffer.data(), buffer.size(), format.c_str(), stem.c_str(), n);
  return buffer.data();
}

// `path` without its extension.
std::string ArchiveStem(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(0, dot);
}

}  // namespace

ArchivePreparer::ArchivePreparer(const BackupJob& job, bool fullBackup, const wxDateTime& now)
    : job_(job), fullBackup_(fullBackup), now_(now) {}

PreparedArchive ArchivePreparer::PrepareArchive(ZipWriter& archive, const std::string& baseDir,
                                                const std::string& archiveName) const {
  const std::string path = JoinPath(baseDir, archiveName) + ".zip";
  PreparedArchive prepared;
  if (!IsExistingFile(path)) {
    const std::string parent = ParentOf(path);
    if (!parent.empty()) CreateDirectoryPath(ToNativeSeparators(parent));
    prepared.fate = ArchiveFate::Created;
  } else {
    prepared.fate = FateOfExisting(path);
  }
  prepared.mode =
      prepared.fate == ArchiveFate::Kept ? ZipOpenMode::OpenExisting : ZipOpenMode::CreateNew;
  archive.OpenArchive(path, prepared.mode, 0);
  if (prepared.fate == ArchiveFate::Retired) {
    prepared.retirePath = RetiredArchivePath(path);
    archive.SetRetirePath(prepared.retirePath);
  }
  prepared.opened = true;
  return prepared;
}

// Retired with NoOverwrite; otherwise a full run replaces the archive, and so
// does the first incremental run of a weekday archive last written on an
// earlier day (the rolling week); any other incremental run adds to it.
ArchiveFate ArchivePreparer::FateOfExisting(const std::string& path) const {
  if (job_.NoOverwrite) return ArchiveFate::Retired;
  if (fullBackup_) return ArchiveFate::Replaced;
  if (job_.Suffix == SuffixKind::Weekday && IsFromEarlierDay(FileLastWriteTime(path))) {
    return ArchiveFate::Replaced;
  }
  return ArchiveFate::Kept;
}

// An unreadable time counts as today: the archive is kept rather than lost.
bool ArchivePreparer::IsFromEarlierDay(const wxDateTime& lastWrite) const {
  return lastWrite.IsValid() && lastWrite < now_ && !lastWrite.IsSameDate(now_);
}

std::string RetiredArchivePath(const std::string& path) {
  const std::string stem = ArchiveStem(path);
  for (int n = 1;; ++n) {
    std::string candidate = OldArchiveName(stem, n);
    if (PathIsFree(candidate)) return candidate;
  }
}

std::vector<std::string> RetiredArchivePaths(const std::string& path) {
  const std::string stem = ArchiveStem(path);
  std::vector<std::string> retired;
  for (int n = 1;; ++n) {
    std::string candidate = OldArchiveName(stem, n);
    if (PathIsFree(candidate)) return retired;
    retired.push_back(std::move(candidate));
  }
}

wxDateTime FileLastWriteTime(const std::string& path) {
  platform::FileInfo info;
  if (platform::Env::Current()->Stat(ToNativeSeparators(path), &info) != 0) return wxDateTime();
  wxDateTime lastWrite(static_cast<time_t>(info.mtimeSeconds));
  lastWrite.SetMillisecond(static_cast<wxDateTime::wxDateTime_t>(info.mtimeNanoseconds / 1000000));
  return lastWrite;
}
