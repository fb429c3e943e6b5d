#include "engine/ArchiveCatalogue.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "engine/ArchiveNaming.h"
#include "engine/ArchivePreparer.h"
#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"
#include "zip/ZipException.h"
#include "zip/ZipJournal.h"
#include "zip/ZipReader.h"

namespace {

constexpr const char* kZip = ".zip";
constexpr const char* kFilesArchive = "files";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string LastComponent(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `count` characters of `text` from `at` are all ASCII digits.
bool IsDigits(const std::string& text, std::string::size_type at, std::string::size_type count) {
  return at + count <= text.size() &&
         std::all_of(text.begin() + at, text.begin() + at + count,
                     [](char c) { return c >= '0' && c <= '9'; });
}

// A date or year-week suffix: "-2026-12-08", "-2026-3-08" or "-2026-49".
bool IsDateSuffix(const std::string& suffix) {
  if (suffix.size() < 7 || suffix[0] != '-' || !IsDigits(suffix, 1, 4) || suffix[5] != '-') {
    return false;
  }
  const std::string::size_type dash = suffix.find('-', 6);
  const std::string::size_type middle = (dash == std::string::npos ? suffix.size() : dash) - 6;
  if (middle < 1 || middle > 2 || !IsDigits(suffix, 6, middle)) return false;
  return dash == std::string::npos || (suffix.size() == dash + 3 && IsDigits(suffix, dash + 1, 2));
}

// Every suffix a backup directory (or source-root archive) of `job` can carry,
// whatever suffix kind the job had when it ran: weekday names come from the
// naming code itself, dates and year-weeks by their form.
class SuffixMatcher {
 public:
  explicit SuffixMatcher(const BackupJob& job) {
    BackupJob weekdayJob(job);
    weekdayJob.Suffix = SuffixKind::Weekday;
    wxDateTime day(7, wxDateTime::Dec, 2026);  // a Monday
    for (int i = 0; i < 7; ++i, day += wxDateSpan::Day()) {
      weekdays_.insert(BackupSuffix(weekdayJob, day));
    }
  }

  bool Matches(const std::string& suffix) const {
    return suffix.empty() || weekdays_.count(suffix) != 0 || IsDateSuffix(suffix);
  }

 private:
  std::set<std::string> weekdays_;
};

const std::string kOldMark = " (old ", kOldEnd = ").zip";

// Where " (old n).zip" begins in `name`; npos when it does not end so.
std::string::size_type OldNumberAt(const std::string& name) {
  if (!EndsWith(name, kOldEnd)) return std::string::npos;
  const std::string::size_type at = name.rfind(kOldMark);
  if (at == std::string::npos) return at;
  const std::string::size_type digits = at + kOldMark.size();
  if (name.size() <= digits + kOldEnd.size() ||
      !IsDigits(name, digits, name.size() - kOldEnd.size() - digits)) {
    return std::string::npos;
  }
  return at;
}

// "(old n)" dropped from `name` when it ends so: "a (old 3).zip" gives "a.zip".
std::string WithoutOldNumber(const std::string& name) {
  const std::string::size_type at = OldNumberAt(name);
  return at == std::string::npos ? name : name.substr(0, at) + kZip;
}

// The place of an archive among those of its name: n for "(old n)", and
// above every n for the plain name, which is always the newest.
uint64_t SeriesRank(const std::string& name) {
  const std::string::size_type at = OldNumberAt(name);
  if (at == std::string::npos) return UINT64_MAX;
  const std::string::size_type begin = at + kOldMark.size();
  const std::string digits = name.substr(begin, name.size() - kOldEnd.size() - begin);
  return digits.size() > 18 ? UINT64_MAX - 1 : std::stoull(digits);
}

// The archives of one name keep the places their commit times gave them, but
// take them in the order of their "(old n)" numbers, which is sure where the
// times are not: they are local times, so an hour the clock repeats, or a
// clock set back, can make an older archive look newer.
void OrderEachSeries(std::vector<CatalogueArchive>* archives) {
  std::map<std::string, std::vector<size_t>> series;
  for (size_t i = 0; i < archives->size(); ++i) {
    series[WithoutOldNumber((*archives)[i].path)].push_back(i);
  }
  for (const auto& entry : series) {
    const std::vector<size_t>& places = entry.second;
    std::vector<CatalogueArchive> members;
    for (size_t place : places) members.push_back(std::move((*archives)[place]));
    std::sort(members.begin(), members.end(), [](const CatalogueArchive& a, const CatalogueArchive& b) {
      return SeriesRank(a.path) < SeriesRank(b.path);
    });
    for (size_t k = 0; k < places.size(); ++k) (*archives)[places[k]] = std::move(members[k]);
  }
}

// The source directory whose files an archive named `name` holds: "(old n)"
// and ".zip" dropped, a per-directory "files" archive stands for its
// directory, and the leading '/' of an absolute archive directory goes.
std::string SourcePrefixOf(std::string name) {
  name = WithoutOldNumber(name);
  if (EndsWith(name, kZip)) name.resize(name.size() - 4);
  if (name == kFilesArchive) return "";
  if (EndsWith(name, std::string("/") + kFilesArchive)) name.resize(name.size() - 6);
  std::string prefix;
  std::string::size_type start = 0;
  while (start <= name.size()) {
    std::string::size_type end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (end > start) prefix = JoinPath(prefix, name.substr(start, end - start));
    start = end + 1;
  }
  return prefix;
}

class Scanner {
 public:
  Scanner(platform::Env& env, const BackupJob& job) : env_(env), job_(job) {}

  std::vector<CatalogueArchive> Scan() {
    BackupJob plain(job_);
    plain.Suffix = SuffixKind::None;
    const std::string base = BackupDirectoryPath(plain, wxDateTime::Now());
    const std::string parent = ParentOf(base);
    const std::string stem = LastComponent(base);
    const SuffixMatcher suffixes(job_);
    std::unique_ptr<platform::DirectoryReader> reader;
    if (env_.OpenDirectory(parent.empty() ? "." : parent, &reader) != 0) return {};
    platform::DirEntry entry;
    while (reader->Next(&entry)) {
      if (entry.name.compare(0, stem.size(), stem) != 0) continue;
      if (entry.info.isDirectory) {
        if (!entry.info.isSymlink && suffixes.Matches(entry.name.substr(stem.size()))) {
          ScanBackupDirectory(JoinPath(parent, entry.name));
        }
      } else if (EndsWith(entry.name, kZip) &&
                 suffixes.Matches(entry.name.substr(stem.size(), entry.name.size() - stem.size() - 4))) {
        // A job whose single archive is named after its backup directory.
        AddWithRetired(parent, entry.name, "");
      }
    }
    return Finish();
  }

 private:
  void ScanBackupDirectory(const std::string& directory) {
    for (const IndexedArchive& line : Index(directory).Archives()) {
      AddWithRetired(directory, line.name, SourcePrefixOf(line.name));
    }
    for (const std::string& archiveDir : job_.Archives) {
      std::string name = ArchiveRelativePath(archiveDir);
      if (job_.SubDirIndividual) name = JoinPath(name, kFilesArchive);
      AddWithRetired(directory, name + kZip, SourcePrefixOf(name + kZip));
    }
    if (job_.SubDirIndividual) FindFilesArchives(directory, "");
  }

  // Every "files.zip" below `directory`/`relative`, with its "(old n)" ones.
  void FindFilesArchives(const std::string& directory, const std::string& relative) {
    std::unique_ptr<platform::DirectoryReader> reader;
    if (env_.OpenDirectory(JoinPath(directory, relative), &reader) != 0) return;
    platform::DirEntry entry;
    std::vector<std::string> subdirectories;
    while (reader->Next(&entry)) {
      if (entry.info.isDirectory && !entry.info.isSymlink) {
        subdirectories.push_back(JoinPath(relative, entry.name));
      } else if (entry.name == std::string(kFilesArchive) + kZip) {
        const std::string name = JoinPath(relative, entry.name);
        AddWithRetired(directory, name, SourcePrefixOf(name));
      }
    }
    for (const std::string& subdirectory : subdirectories) FindFilesArchives(directory, subdirectory);
  }

  void AddWithRetired(const std::string& directory, const std::string& name,
                      const std::string& prefix) {
    Add(directory, name, prefix);
    const std::string path = JoinPath(directory, name);
    for (const std::string& retired : RetiredArchivePaths(path)) {
      Add(directory, retired.substr(directory.empty() ? 0 : directory.size() + 1), prefix);
    }
  }

  void Add(const std::string& directory, const std::string& name, const std::string& prefix) {
    CatalogueArchive archive;
    archive.path = JoinPath(directory, name);
    platform::FileInfo info;
    if (env_.Stat(archive.path, &info) != 0 || !info.isRegular || found_.count(archive.path)) return;
    found_.insert(archive.path);
    archive.indexDirectory = directory;
    archive.name = name;
    archive.sourcePrefix = prefix;
    RecoverPendingArchive(archive.path);
    if (const IndexedArchive* line = Index(directory).Find(name)) {
      archive.indexed = true;
      archive.kind = line->kind;
      archive.committed = line->committed;
      archive.entries = line->entries;
    } else {
      archive.committed = wxDateTime(static_cast<time_t>(info.mtimeSeconds));
      archive.entries = CountEntries(archive.path);
    }
    archives_.push_back(std::move(archive));
  }

  static uint64_t CountEntries(const std::string& path) {
    ZipReader reader;
    try {
      reader.Open(path);
    } catch (const ZipException&) {
      return 0;
    }
    return static_cast<uint64_t>(reader.Count());
  }

  const ArchiveIndex& Index(const std::string& directory) {
    auto it = indexes_.find(directory);
    if (it == indexes_.end()) {
      it = indexes_.emplace(directory, ArchiveIndex::Load(env_, directory)).first;
    }
    return it->second;
  }

  std::vector<CatalogueArchive> Finish() {
    std::stable_sort(archives_.begin(), archives_.end(),
                     [](const CatalogueArchive& a, const CatalogueArchive& b) {
                       if (!a.committed.IsEqualTo(b.committed)) return a.committed < b.committed;
                       return a.path < b.path;
                     });
    OrderEachSeries(&archives_);
    return std::move(archives_);
  }

  platform::Env& env_;
  const BackupJob& job_;
  std::map<std::string, ArchiveIndex> indexes_;
  std::set<std::string> found_;
  std::vector<CatalogueArchive> archives_;
};

}  // namespace

ArchiveCatalogue ArchiveCatalogue::Scan(platform::Env& env, const BackupJob& job) {
  ArchiveCatalogue catalogue;
  catalogue.archives_ = Scanner(env, job).Scan();
  return catalogue;
}

// A failure here is left for the reader to report when it opens the archive:
// one being written is refused there as in use, one that is not ours as such.
void RecoverPendingArchive(const std::string& archivePath) {
  try {
    RecoverPendingJournal(archivePath);
  } catch (const ZipException&) {
  }
}
