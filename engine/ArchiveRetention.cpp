#include "engine/ArchiveRetention.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "engine/ArchiveIndex.h"
#include "engine/ArchiveNaming.h"
#include "engine/ArchivePreparer.h"
#include "engine/PathUtil.h"
#include "jobs/BackupJob.h"
#include "platform/Env.h"
#include "zip/ZipException.h"
#include "zip/ZipReader.h"

namespace {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;
const char kSubDirArchive[] = "files.zip";

platform::Env& TheEnv() { return *platform::Env::Current(); }

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// The directory that holds `path`: "." for a bare name.
std::string DirectoryToList(const std::string& path) {
  return path.find('/') == std::string::npos ? std::string(".") : ParentOf(path);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The entries of `directory` of the kinds `kinds`; symbolic links to
// directories are left out, so nothing outside is ever reached.
std::vector<platform::DirEntry> Listing(const std::string& directory, unsigned kinds) {
  std::vector<platform::DirEntry> entries;
  std::unique_ptr<platform::DirectoryReader> reader;
  if (TheEnv().OpenDirectory(directory, &reader) != 0) return entries;
  platform::DirEntry entry;
  while (reader->NextOfKinds(&entry, kinds)) {
    if (!(entry.info.isDirectory && entry.info.isSymlink)) entries.push_back(entry);
  }
  return entries;
}

// Every "files.zip" below `directory`, at any depth.
void FindSubDirArchives(const std::string& directory, std::vector<std::string>* found) {
  for (const platform::DirEntry& entry : Listing(directory, platform::KindAny)) {
    const std::string path = directory + "/" + entry.name;
    if (entry.info.isDirectory) {
      FindSubDirArchives(path, found);
    } else if (entry.name == kSubDirArchive) {
      found->push_back(path);
    }
  }
}

// Removes the directories below `directory` and itself, deepest first, where
// they are empty; what was removed is added to `removed`.
void RemoveEmptyDirectories(const std::string& directory, std::vector<std::string>* removed) {
  for (const platform::DirEntry& entry : Listing(directory, platform::KindDirectory)) {
    RemoveEmptyDirectories(directory + "/" + entry.name, removed);
  }
  if (TheEnv().RemoveDirectory(directory) == 0) removed->push_back(directory);
}

// One archive file of the job.
struct ArchiveFile {
  std::string path;
  std::string plainPath;        // the archive of its name: path itself or its "(old n)" base
  std::string backupDirectory;  // the backup directory it belongs to
  int64_t mtime = 0;
  uint64_t size = 0;
};

// The "(old n)" archives of `plainPath`, oldest first, then the archive itself
// where it exists.
std::vector<ArchiveFile> Series(const std::string& plainPath, const std::string& backupDirectory) {
  std::vector<std::string> paths = RetiredArchivePaths(plainPath);
  paths.push_back(plainPath);
  std::vector<ArchiveFile> files;
  for (const std::string& path : paths) {
    platform::FileInfo info;
    if (TheEnv().Stat(path, &info) != 0 || !info.isRegular) continue;
    files.push_back(ArchiveFile{path, plainPath, backupDirectory, info.mtimeSeconds, info.size});
  }
  return files;
}

// The indexes of the backup directories retention reads or changes, each
// loaded once and written back once when changed.
class Indexes {
 public:
  // The index directory and name of the archive `path` of `backupDirectory`:
  // the backup directory and the path below it, or, for the single archive
  // beside its backup directory, the directory holding it and its file name.
  static std::pair<std::string, std::string> PlaceOf(const std::string& backupDirectory,
                                                     const std::string& path) {
    if (StartsWith(path, backupDirectory + "/")) {
      return {backupDirectory, path.substr(backupDirectory.size() + 1)};
    }
    return {DirectoryToList(path), NameOf(path)};
  }

  // The index line of the archive at `path`; null when its index has none.
  const IndexedArchive* Find(const std::string& backupDirectory, const std::string& path) {
    const auto place = PlaceOf(backupDirectory, path);
    return At(place.first).index.Find(place.second);
  }
  void Remove(const std::string& backupDirectory, const std::string& path) {
    const auto place = PlaceOf(backupDirectory, path);
    Entry& entry = At(place.first);
    if (entry.index.Find(place.second) == nullptr) return;
    entry.index.Remove(place.second);
    entry.changed = true;
  }
  void Rename(const std::string& backupDirectory, const std::string& from, const std::string& to) {
    const auto place = PlaceOf(backupDirectory, from);
    Entry& entry = At(place.first);
    if (entry.index.Find(place.second) == nullptr) return;
    entry.index.Rename(place.second, PlaceOf(backupDirectory, to).second);
    entry.changed = true;
  }
  // Drops the index of a directory that was removed.
  void Forget(const std::string& directory) { indexes_.erase(directory); }
  void Save() {
    for (auto& [directory, entry] : indexes_) {
      if (entry.changed) entry.index.Save(TheEnv(), directory);
    }
  }

 private:
  struct Entry {
    ArchiveIndex index;
    bool changed = false;
  };
  Entry& At(const std::string& directory) {
    auto found = indexes_.find(directory);
    if (found == indexes_.end()) {
      found = indexes_.emplace(directory, Entry{ArchiveIndex::LoadOwn(TheEnv(), directory), false})
                  .first;
    }
    return found->second;
  }
  std::map<std::string, Entry> indexes_;
};

// The entry names of the archive at `path`; false when it cannot be read.
bool EntryNamesOf(const std::string& path, std::set<std::string>* names) {
  ZipReader reader;
  try {
    reader.Open(path);
  } catch (const ZipException&) {
    return false;
  }
  for (int i = 0; i < reader.Count(); ++i) names->insert(reader.Name(i));
  return true;
}

// The name of an archive below its backup directory, the same in every dated one.
std::string NameKey(const ArchiveFile& file) {
  return file.plainPath.substr(file.backupDirectory.size());
}

// The newest complete full backup of an archive name: the newest archive
// the index does not call incremental.
struct NewestFull {
  int64_t mtime = 0;
  std::string path;
  bool indexed = false;  // the index calls it full, not only by default
};

// Adds to `kept` each candidate written after the newest full backup of its
// name that holds a file no later archive of the name holds: a restore of the
// newest files needs it, and that file is not stored again by an incremental
// run. An archive that cannot be read is kept. `current` holds every archive
// of the current series.
void KeepNeededIncrementals(const std::vector<ArchiveFile>& candidates, size_t datedCount,
                            const std::vector<ArchiveFile>& current,
                            const std::map<std::string, NewestFull>& newestFull,
                            std::set<std::string>* kept) {
  // Each name's files in the order written: the dated ones, then the current series.
  std::map<std::string, std::vector<ArchiveFile>> chains;
  for (size_t i = 0; i < datedCount; ++i) chains[NameKey(candidates[i])].push_back(candidates[i]);
  for (const ArchiveFile& file : current) chains[NameKey(file)].push_back(file);
  std::set<std::string> removable;
  for (const ArchiveFile& file : candidates) removable.insert(file.path);
  for (auto& [key, chain] : chains) {
    const auto full = newestFull.find(key);
    if (full == newestFull.end()) continue;
    std::stable_sort(chain.begin(), chain.end(),
                     [](const ArchiveFile& a, const ArchiveFile& b) { return a.mtime < b.mtime; });
    std::set<std::string> later;  // names held by the archives after the one looked at
    for (auto it = chain.rbegin(); it != chain.rend() && it->path != full->second.path; ++it) {
      std::set<std::string> names;
      const bool readable = EntryNamesOf(it->path, &names);
      if (removable.count(it->path) != 0 &&
          (!readable || !std::includes(later.begin(), later.end(), names.begin(), names.end()))) {
        kept->insert(it->path);
      }
      later.insert(names.begin(), names.end());
    }
  }
}

}  // namespace

// What Apply does: the files it removes, the archive names whose "(old n)"
// it renumbers afterwards (plain path and backup directory), and the dated
// backup directories it removes once nothing of the job is left in them.
struct ArchiveRetention::Plan {
  std::vector<ArchiveFile> removals;
  std::vector<std::pair<std::string, std::string>> renumbered;
  std::vector<std::string> expiredDirectories;
};

ArchiveRetention::ArchiveRetention(const BackupJob& job, const wxDateTime& now)
    : job_(job), now_(now) {}

bool ArchiveRetention::IsExpired(int64_t mtime) const {
  return job_.KeepDays > 0 &&
         mtime < static_cast<int64_t>(now_.GetTicks()) - int64_t{job_.KeepDays} * kSecondsPerDay;
}

// The dated (Date, YearWeek) backup directories of the job beside the
// current one, with KeepDays set; in the single-archive layout the dated
// archives beside it stand for them.
std::vector<std::string> ArchiveRetention::DatedBackupDirectories(
    const std::string& backupDirectory) const {
  const std::string suffix = BackupSuffix(job_, now_);
  if (job_.KeepDays == 0 || suffix.empty() || DatedSuffixLength(job_, suffix) == 0 ||
      backupDirectory.size() < suffix.size()) {
    return {};
  }
  const std::string base = backupDirectory.substr(0, backupDirectory.size() - suffix.size());
  const std::string prefix = NameOf(base);
  std::set<std::string> found;
  for (const platform::DirEntry& entry : Listing(DirectoryToList(base), platform::KindAny)) {
    if (!StartsWith(entry.name, prefix)) continue;
    const std::string rest = entry.name.substr(prefix.size());
    const size_t length = DatedSuffixLength(job_, rest);
    if (length == 0 || (entry.info.isDirectory && length != rest.size())) continue;
    const std::string directory = base + rest.substr(0, length);
    if (directory != backupDirectory) found.insert(directory);
  }
  return {found.begin(), found.end()};
}

// The plain archive paths of the job in the dated backup directory
// `directory`: those of the current run's archives there, or with
// SubDirIndividual every "files.zip" below it.
std::vector<std::string> ArchiveRetention::PlainArchivesIn(
    const std::string& directory, const std::string& backupDirectory,
    const std::vector<std::string>& archives) const {
  std::vector<std::string> plain;
  if (job_.SubDirIndividual) {
    FindSubDirArchives(directory, &plain);
    return plain;
  }
  for (const std::string& archive : archives) {
    plain.push_back(directory + archive.substr(backupDirectory.size()));
  }
  return plain;
}

ArchiveRetention::Plan ArchiveRetention::MakePlan(const std::string& backupDirectory,
                                                  const std::vector<std::string>& archives) const {
  Plan plan;
  std::vector<ArchiveFile> candidates;  // oldest backup directories first
  for (const std::string& directory : DatedBackupDirectories(backupDirectory)) {
    std::vector<ArchiveFile> files;
    for (const std::string& plain : PlainArchivesIn(directory, backupDirectory, archives)) {
      for (ArchiveFile& file : Series(plain, directory)) files.push_back(file);
    }
    if (files.empty() || !std::all_of(files.begin(), files.end(), [this](const ArchiveFile& f) {
          return IsExpired(f.mtime);
        })) {
      continue;
    }
    plan.expiredDirectories.push_back(directory);
    candidates.insert(candidates.end(), files.begin(), files.end());
  }
  const size_t datedCount = candidates.size();
  std::vector<ArchiveFile> current;  // every archive of the current series, those just written included
  for (const std::string& archive : archives) {
    std::vector<ArchiveFile> series = Series(archive, backupDirectory);
    current.insert(current.end(), series.begin(), series.end());
    if (!series.empty() && series.back().path == archive) series.pop_back();
    const size_t keepOld = job_.KeepOld == 0 ? series.size() : job_.KeepOld;
    for (size_t i = 0; i < series.size(); ++i) {
      if (i + keepOld < series.size() || IsExpired(series[i].mtime)) {
        candidates.push_back(series[i]);
      }
    }
    plan.renumbered.emplace_back(archive, backupDirectory);
  }
  // The newest complete full backup of each archive name stays, the archives
  // just written included in the search.
  Indexes indexes;
  std::map<std::string, NewestFull> newestFull;  // by NameKey
  auto consider = [&](const ArchiveFile& file) {
    const IndexedArchive* line = indexes.Find(file.backupDirectory, file.path);
    if (line != nullptr && line->kind == ArchiveKind::Incremental) return;
    NewestFull& newest = newestFull[NameKey(file)];
    if (newest.path.empty() || file.mtime >= newest.mtime) newest = {file.mtime, file.path, line != nullptr};
  };
  for (const ArchiveFile& file : candidates) consider(file);
  for (const ArchiveFile& file : current) consider(file);
  std::set<std::string> kept;
  for (const auto& entry : newestFull) kept.insert(entry.second.path);
  KeepNeededIncrementals(candidates, datedCount, current, newestFull, &kept);
  for (size_t i = 0; i < candidates.size(); ++i) {
    // A name whose newest full backup is one only by default, without an
    // index line (an index lost or refused): which earlier archive it needs
    // is not known, so none goes until a full run is indexed.
    const auto full = newestFull.find(NameKey(candidates[i]));
    if (kept.count(candidates[i].path) != 0 ||
        (full != newestFull.end() && !full->second.indexed)) {
      continue;
    }
    plan.removals.push_back(candidates[i]);
    const std::pair<std::string, std::string> name{candidates[i].plainPath,
                                                   candidates[i].backupDirectory};
    if (i < datedCount &&
        std::find(plan.renumbered.begin(), plan.renumbered.end(), name) == plan.renumbered.end()) {
      plan.renumbered.push_back(name);
    }
  }
  return plan;
}

uint64_t ArchiveRetention::RemovableBytes(const std::string& backupDirectory,
                                          const std::vector<std::string>& archives) const {
  uint64_t bytes = 0;
  for (const ArchiveFile& file : MakePlan(backupDirectory, archives).removals) bytes += file.size;
  return bytes;
}

std::vector<std::string> ArchiveRetention::Apply(const std::string& backupDirectory,
                                                 const std::vector<std::string>& archives) const {
  const Plan plan = MakePlan(backupDirectory, archives);
  Indexes indexes;
  std::vector<std::string> removed;
  for (const ArchiveFile& file : plan.removals) {
    if (TheEnv().RemoveFile(file.path) != 0) continue;
    removed.push_back(file.path);
    indexes.Remove(file.backupDirectory, file.path);
  }
  // Renumbering upwards: each "(old n)" moves to the lowest free number,
  // which its predecessors have just left, so the order is kept throughout.
  for (const auto& [plain, directory] : plan.renumbered) {
    const std::vector<std::string> retired = RetiredArchivePaths(plain);
    for (size_t i = 0; i < retired.size(); ++i) {
      const std::string target = OldArchivePath(plain, static_cast<int>(i) + 1);
      if (retired[i] == target) continue;
      platform::FileInfo info;
      if (TheEnv().Stat(target, &info) == 0 || TheEnv().RenameFile(retired[i], target) != 0) break;
      indexes.Rename(directory, retired[i], target);
    }
  }
  for (const std::string& directory : plan.expiredDirectories) {
    if (job_.Archives.empty() && !job_.SubDirIndividual) continue;
    std::vector<std::string> left;
    for (const std::string& plain : PlainArchivesIn(directory, backupDirectory, archives)) {
      if (!Series(plain, directory).empty()) left.push_back(plain);
    }
    if (!left.empty()) continue;
    indexes.Forget(directory);
    TheEnv().RemoveFile(directory + "/" + ArchiveIndex::kFileName);
    RemoveEmptyDirectories(directory, &removed);
  }
  indexes.Save();
  return removed;
}
