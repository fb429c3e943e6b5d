#include "engine/SpaceEstimate.h"

#include <algorithm>
#include <cmath>

#include "engine/SourceWalker.h"
#include "zip/ZipException.h"
#include "zip/ZipJournal.h"
#include "zip/ZipReader.h"

namespace {

// Local header, data descriptor, central header and ZIP64 fields of an
// entry, besides its name twice.
constexpr uint64_t kRecordBytes = 160;

uint64_t EntryRecordBytes(const std::string& relativeDir, const std::string& name) {
  return kRecordBytes + 2 * (relativeDir.size() + 1 + name.size());
}

// Sums what the walk selects instead of storing it.
class SizeActions : public SourceWalkActions {
 public:
  explicit SizeActions(double ratio) : ratio_(ratio) {}

  bool AddSourceFile(const SourceFile& file) override {
    bytes_ += static_cast<uint64_t>(std::ceil(static_cast<double>(file.seen.size) * ratio_)) +
              EntryRecordBytes(file.relativeDir, file.name);
    return true;
  }
  bool EnterSubdirectory(const std::string& relativeDir, const std::string& name) override {
    bytes_ += EntryRecordBytes(relativeDir, name);
    return true;
  }
  // The run itself reports folders it cannot read; they add nothing here.
  void FolderUnreadable(const std::string&, int) override {}
  void FolderNotDiskBacked(const std::string&) override {}
  uint64_t Bytes() const { return bytes_; }

 private:
  double ratio_;
  uint64_t bytes_ = 0;
};

}  // namespace

SpaceEstimate::SpaceEstimate(const BackupJob& job, bool fullBackup,
                             std::function<bool()> shouldStop)
    : job_(job), fullBackup_(fullBackup), shouldStop_(std::move(shouldStop)) {}

bool SpaceEstimate::NeededBytes(const std::vector<std::string>& archiveDirs, double ratio,
                                uint64_t* needed) const {
  SizeActions actions(ratio);
  for (const std::string& dir : archiveDirs) {
    SourceWalker walker(job_, fullBackup_, shouldStop_, actions);
    if (skipped_.inode != 0) walker.SkipDirectory(skipped_);
    if (!walker.BackupDirectory(dir)) return false;
  }
  *needed = actions.Bytes();
  return true;
}

double SpaceEstimate::CompressionRatio(const std::vector<std::string>& archivePaths) {
  uint64_t stored = 0;
  uint64_t original = 0;
  for (const std::string& path : archivePaths) {
    platform::FileInfo info;
    platform::FileInfo journal;
    if (platform::Env::Current()->Stat(path, &info) != 0 || !info.isRegular) continue;
    // An archive with a journal beside it is left for the run to recover and
    // report: opening it here would play the journal back unannounced.
    if (platform::Env::Current()->LinkStat(ZipJournal::PathFor(path), &journal) == 0) continue;
    ZipReader archive;
    uint64_t entryBytes = 0;
    try {
      archive.Open(path);
      for (int i = 0; i < archive.Count(); ++i) entryBytes += archive.Entry(i).uncompressedSize;
    } catch (const ZipException&) {
      continue;
    }
    stored += info.size;
    original += entryBytes;
  }
  // Records are counted apart, so data that did not shrink counts in full.
  if (original == 0 || stored == 0) return 1.0;
  return std::min(1.0, static_cast<double>(stored) / static_cast<double>(original));
}
