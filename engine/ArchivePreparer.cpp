#include "engine/ArchivePreparer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
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

namespace {

// The numbers of the "(old n)" archives of `path` that exist, in ascending
// order, read from a listing of its directory (gaps included).
std::vector<int> RetiredArchiveNumbers(const std::string& path) {
  constexpr int kSample = 987654321;
  const std::string stem = ArchiveStem(path);
  const std::string sample = OldArchiveName(stem, kSample);
  const std::string digits = std::to_string(kSample);
  const std::string::size_type at = sample.rfind(digits);
  if (at == std::string::npos) return {};
  const std::string before = sample.substr(0, at);
  const std::string after = sample.substr(at + digits.size());
  const std::string parent = ParentOf(path);
  std::unique_ptr<platform::DirectoryReader> reader;
  if (platform::Env::Current()->OpenDirectory(parent.empty() ? "." : parent, &reader) != 0) {
    return {};
  }
  std::vector<int> numbers;
  platform::DirEntry entry;
  while (reader->NextOfKinds(&entry, platform::KindFile)) {
    const std::string name = parent.empty() ? entry.name : parent + "/" + entry.name;
    if (name.size() <= before.size() + after.size() || name.compare(0, before.size(), before) != 0 ||
        name.compare(name.size() - after.size(), after.size(), after) != 0) {
      continue;
    }
    const std::string number = name.substr(before.size(), name.size() - before.size() - after.size());
    if (number.size() > 9 || number[0] == '0' ||
        !std::all_of(number.begin(), number.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
      continue;
    }
    const int n = std::stoi(number);
    if (OldArchiveName(stem, n) == name) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

}  // namespace

std::string OldArchivePath(const std::string& path, int n) {
  return OldArchiveName(ArchiveStem(path), n);
}

// One above the highest number there, so that a higher number is always
// newer even where an earlier "(old n)" was removed by hand.
std::string RetiredArchivePath(const std::string& path) {
  const std::vector<int> numbers = RetiredArchiveNumbers(path);
  std::string candidate = OldArchivePath(path, numbers.empty() ? 1 : numbers.back() + 1);
  for (int n = numbers.empty() ? 2 : numbers.back() + 2; !PathIsFree(candidate); ++n) {
    candidate = OldArchivePath(path, n);
  }
  return candidate;
}

std::vector<std::string> RetiredArchivePaths(const std::string& path) {
  std::vector<std::string> retired;
  for (int n : RetiredArchiveNumbers(path)) retired.push_back(OldArchivePath(path, n));
  return retired;
}

wxDateTime FileLastWriteTime(const std::string& path) {
  platform::FileInfo info;
  if (platform::Env::Current()->Stat(ToNativeSeparators(path), &info) != 0) return wxDateTime();
  wxDateTime lastWrite(static_cast<time_t>(info.mtimeSeconds));
  lastWrite.SetMillisecond(static_cast<wxDateTime::wxDateTime_t>(info.mtimeNanoseconds / 1000000));
  return lastWrite;
}
