#include "engine/BackupRunner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>

#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "engine/ArchiveErrorText.h"
#include "engine/ArchiveIndex.h"
#include "engine/ArchiveNaming.h"
#include "engine/ArchivePreparer.h"
#include "engine/ArchiveRetention.h"
#include "engine/BackupCallback.h"
#include "engine/BackupProgress.h"
#include "engine/BackupThread.h"
#include "engine/PathUtil.h"
#include "engine/SpaceEstimate.h"
#include "engine/RunHistory.h"
#include "engine/SourceWalker.h"
#include "jobs/BackupJob.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "zip/ZipArchiveFile.h"
#include "zip/ZipJournal.h"
#include "zip/ZipPlatform.h"
#include "zip/ZipWriter.h"

namespace {

// Read chunk size and options of every add.
constexpr uint32_t kBufferSize = 65536;
constexpr int kAddOptions = AddFileRequest::OptDefault;

unsigned int ThreadPriority(JobPriority priority) {
  switch (priority) {
    case JobPriority::Min: return 0;
    case JobPriority::Max: return 100;
    default: return 50;
  }
}

}  // namespace

// The archive side of one walk: files and subdirectories go to `archive`.
class BackupRunner::Actions : public SourceWalkActions {
 public:
  Actions(BackupRunner& runner, ZipWriter& archive, const std::string& backupDirectory)
      : runner_(runner), archive_(archive), backupDirectory_(backupDirectory) {}

  bool AddSourceFile(const SourceFile& file) override {
    return runner_.AddSourceFile(archive_, file);
  }

  bool EnterSubdirectory(const std::string& relativeDir, const std::string& name) override {
    return runner_.EnterSubdirectory(archive_, relativeDir, name, backupDirectory_);
  }

  void FolderUnreadable(const std::string& directory, int error) override {
    runner_.result_.unreadFolders.Add(directory, platform::ErrorText(error));
  }

  void FolderNotDiskBacked(const std::string& directory) override {
    runner_.result_.notDiskBacked.Add(directory);
  }

 private:
  BackupRunner& runner_;
  ZipWriter& archive_;
  const std::string& backupDirectory_;
};

BackupRunner::BackupRunner(BackupProgress& progress) : progress_(progress) {}

BackupRunner::~BackupRunner() {
  Stop();
  ReapThread();
}

namespace {

// 0 when `path` is an existing directory, else the reason (an errno value).
int DirectoryError(const std::string& path) {
  platform::FileInfo info;
  const int error = platform::Env::Current()->Stat(ToNativeSeparators(path), &info);
  if (error != 0) return error;
  return info.isDirectory ? 0 : ENOTDIR;
}

// 0 when `path` is a directory that can be listed, else the reason.
int ListingError(const std::string& path) {
  std::unique_ptr<platform::DirectoryReader> reader;
  return platform::Env::Current()->OpenDirectory(ToNativeSeparators(path), &reader);
}

int64_t RealTimeNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A file whose time lies in the timestamp tick the run started in could
// change again after it was listed without its time moving, and a stamp
// would hide that change; such a file is stored but not stamped. A time
// without a fraction of a second is taken to come from a file system that
// keeps whole seconds.
bool IsOlderThanRun(const platform::FileInfo& seen, int64_t runStartNanoseconds) {
  constexpr int64_t kSecond = 1000000000;
  const int64_t tick = seen.mtimeNanoseconds == 0 ? kSecond : 1;
  const int64_t modified = seen.mtimeSeconds * kSecond + seen.mtimeNanoseconds;
  return modified < runStartNanoseconds - runStartNanoseconds % tick;
}

// The file's size, modification or status change time moved since `seen`
// (the last also where an edit set the time back; a file that is gone has
// nothing left to stamp either). A file listed as no link is looked at
// without following links: one call, and a link put in its place differs.
bool ChangedSince(const std::string& path, const platform::FileInfo& seen) {
  platform::Env* env = platform::Env::Current();
  platform::FileInfo now;
  if ((seen.isSymlink ? env->Stat(path, &now) : env->LinkStat(path, &now)) != 0) return false;
  return !platform::IsSameState(now, seen);
}

}  // namespace

// Every folder the run reads from must be there and listable before any
// archive is touched: an unmounted disk or a moved folder would otherwise
// replace a good archive with an empty one.
bool BackupRunner::CheckSourceFolders() {
  std::vector<std::string> folders;
  if (job_->Archives.empty()) folders.push_back(job_->SourceRootPath);
  for (const std::string& archiveDir : job_->Archives) {
    folders.push_back(job_->SourceRootPath.empty() ? archiveDir
                                                   : JoinPath(job_->SourceRootPath, archiveDir));
  }
  for (const std::string& folder : folders) {
    if (const int error = ListingError(folder)) {
      result_.Fail(wxString::Format(_("the source folder cannot be read (%s)"),
                                    wxString::FromUTF8(platform::ErrorText(error)))
                       .ToStdString(wxConvUTF8),
                   folder);
      return false;
    }
  }
  return true;
}

bool BackupRunner::Run() {
  succeeded_ = true;
  result_ = RunResult();
  ownArchiveFiles_.clear();
  committedArchives_.clear();
  archiveHome_ = platform::FileInfo();
  if (job_ == nullptr) {
    result_.Fail(platform::ErrorText(EINVAL), "");
    succeeded_ = false;
    return false;
  }
  if (const int error = DirectoryError(job_->TargetPath)) {
    result_.Fail(platform::ErrorText(error), job_->TargetPath);
    succeeded_ = false;
    return false;
  }
  if (!CheckSourceFolders()) {
    succeeded_ = false;
    return false;
  }
  runStart_ = LocalNow();
  runStartNanoseconds_ = RealTimeNanoseconds();
  const std::string backupDirectory = BackupDirectoryPath(*job_, runStart_);
  if (!HasRoomForRun(backupDirectory)) {
    succeeded_ = false;
    return false;
  }
  BackupCallback callback(progress_, [this] { return StopRequested(); });
  callback_ = &callback;
  bool result = false;
  try {
    result = job_->Archives.empty() ? RunSourceRoot(backupDirectory)
                                    : RunArchives(backupDirectory);
  } catch (const ZipException& error) {
    // An archive error outside a walk (creating, opening, closing or switching
    // archives) ends the run; the archive object has released its file, and
    // the files of an archive that did not commit stay unstamped.
    LogArchiveError(error, error.fileName);
    RecordZipError(error, "");
  } catch (const std::exception& error) {
    result_.Fail(error.what(), "");
  }
  stamps_.Discard();
  callback_ = nullptr;
  if (!result && StopRequested()) {
    result_.cancelled = true;
    result_.Fail(wxString(_("cancelled")).ToStdString(wxConvUTF8), "");
  }
  if (!result) succeeded_ = false;
  result = result && succeeded_;  // an archive that read back damaged fails the run
  // Earlier archives go only once every archive of the run has committed and read back sound.
  if (result) {
    result_.removedArchives =
        ArchiveRetention(*job_, runStart_).Apply(backupDirectory, committedArchives_);
  }
  result_.succeeded = succeeded_;
  return result;
}

namespace {

// The archive directories a run walks (relative to the source root) and the
// plain paths of their archives in `backupDirectory`.
void RunArchivesOf(const BackupJob& job, const std::string& backupDirectory,
                   std::vector<std::string>* dirs, std::vector<std::string>* paths) {
  *dirs = job.Archives.empty() ? std::vector<std::string>{""} : job.Archives;
  for (const std::string& dir : *dirs) {
    std::string path = job.Archives.empty() ? backupDirectory
                                            : JoinPath(backupDirectory, ArchiveRelativePath(dir));
    if (job.SubDirIndividual) path = JoinPath(job.Archives.empty() ? backupDirectory : path, "files");
    paths->push_back(path + ".zip");
  }
}

std::string SizeText(uint64_t bytes) {
  return wxFileName::GetHumanReadableSize(wxULongLong(bytes)).ToStdString(wxConvUTF8);
}

}  // namespace

// A run that writes a new archive beside the earlier one (a full run, a job
// with NoOverwrite, an archive not there yet) needs room for all of it before
// the commit; one that cannot have it even counting what retention may remove
// fails at once, naming the target, the space needed and the space free,
// before anything is written or stamped.
bool BackupRunner::HasRoomForRun(const std::string& backupDirectory) {
  std::vector<std::string> dirs;
  std::vector<std::string> paths;
  RunArchivesOf(*job_, backupDirectory, &dirs, &paths);
  platform::Env* env = platform::Env::Current();
  const bool staged = fullBackup_ || job_->NoOverwrite ||
                      std::any_of(paths.begin(), paths.end(), [env](const std::string& path) {
                        platform::FileInfo info;
                        return env->Stat(path, &info) != 0;
                      });
  if (!staged) return true;
  SpaceEstimate estimate(*job_, fullBackup_, [this] { return StopRequested(); });
  platform::FileInfo target;
  if (env->Stat(ToNativeSeparators(job_->TargetPath), &target) == 0) estimate.SkipDirectory(target);
  uint64_t needed = 0;
  if (!estimate.NeededBytes(dirs, SpaceEstimate::CompressionRatio(paths), &needed)) {
    result_.cancelled = true;
    result_.Fail(wxString(_("cancelled")).ToStdString(wxConvUTF8), "");
    return false;
  }
  const uint64_t free = env->FreeSpace(ToNativeSeparators(job_->TargetPath));
  const uint64_t removable = ArchiveRetention(*job_, runStart_).RemovableBytes(backupDirectory, paths);
  if (needed <= free || needed - free <= removable) return true;
  result_.Fail(wxString::Format(_("not enough free space for the backup: %s needed, %s free"),
                                SizeText(needed), SizeText(free))
                   .ToStdString(wxConvUTF8),
               job_->TargetPath);
  return false;
}

// A cancel is no failure of its own: the run reports it as a cancellation.
// Any other archive error may have dropped files taken before it while their
// data was still being compressed: none of the archive's files is stamped.
void BackupRunner::RecordZipError(const ZipException& error, const std::string& otherwisePath) {
  if (error.code == ZipException::CancelledFinished ||
      error.code == ZipException::CancelledUnfinished) {
    return;
  }
  stamps_.Discard();
  result_.Fail(ZipErrorReason(error).ToStdString(wxConvUTF8),
               error.fileName.empty() ? otherwisePath : error.fileName);
}

// One archive per archive directory (or per directory with SubDirIndividual).
// A walk stopped by an archive error fails the run, but the remaining archive
// directories are still backed up; cancellation and an archive that cannot be
// prepared end the run at once.
bool BackupRunner::RunArchives(const std::string& backupDirectory) {
  CreateDirectoryPath(ToNativeSeparators(backupDirectory));
  bool allWalked = true;
  for (size_t i = 0; i < job_->Archives.size(); ++i) {
    const std::string& archiveDir = job_->Archives[i];
    std::string name = ArchiveRelativePath(archiveDir);
    if (job_->SubDirIndividual) name = JoinPath(name, "files");
    const std::string root =
        job_->SourceRootPath.empty() ? archiveDir : JoinPath(job_->SourceRootPath, archiveDir);
    const ArchiveOutcome outcome =
        BackupOneArchive(backupDirectory, name, archiveDir, root, backupDirectory);
    if (outcome == ArchiveOutcome::NotPrepared || StopRequested()) return false;
    allWalked = allWalked && outcome == ArchiveOutcome::Walked;
  }
  return allWalked;
}

// The source root is the one archive directory.
bool BackupRunner::RunSourceRoot(const std::string& backupDirectory) {
  std::string baseDir = backupDirectory;
  std::string name = "files";
  if (!job_->SubDirIndividual) {
    const std::string::size_type slash = backupDirectory.rfind('/');
    baseDir = slash == std::string::npos ? std::string() : backupDirectory.substr(0, slash);
    name = ArchiveRelativePath(
        slash == std::string::npos ? backupDirectory : backupDirectory.substr(slash + 1));
  }
  const ArchiveOutcome outcome =
      BackupOneArchive(baseDir, name, "", job_->SourceRootPath, backupDirectory);
  return outcome == ArchiveOutcome::Walked && !StopRequested();
}

// Prepares one archive, walks `sourceDir` into it and finishes it.
BackupRunner::ArchiveOutcome BackupRunner::BackupOneArchive(const std::string& baseDir,
                                                            const std::string& archiveName,
                                                            const std::string& sourceDir,
                                                            const std::string& rootDir,
                                                            const std::string& backupDirectory) {
  ZipWriter archive;
  archive.SetProgressCallback(callback_, ZipActionCallback::CallbackAdd);
  if (!PrepareArchive(archive, baseDir, archiveName)) return ArchiveOutcome::NotPrepared;
  archive.SetRootDirectory(ToNativeSeparators(rootDir));
  const bool walked = BackupDirectory(archive, sourceDir, backupDirectory);
  if (!walked) succeeded_ = false;
  FinishArchive(archive, walked);
  return walked ? ArchiveOutcome::Walked : ArchiveOutcome::WalkFailed;
}

// Closes the archive, and deletes it when it holds nothing and the job says
// NoEmpty. Once the close has returned, the archive is committed: only then
// are its files stamped. A close that fails throws before any stamp is written.
// A new archive that would replace or retire the one in place is dropped
// instead when its walk did not complete, or when it would be empty under
// NoEmpty: the previous archive keeps its name and its files stay unstamped.
void BackupRunner::FinishArchive(ZipWriter& archive, bool walked) {
  const std::string path = archive.ArchivePath();
  const bool empty = archive.EntryCount() == 0;
  const uint64_t entries = static_cast<uint64_t>(archive.EntryCount());
  if (KeepsPreviousArchive(archive, walked)) {
    stamps_.Discard();
    ownArchiveFiles_.clear();
    archive.CloseArchive(true);
    return;
  }
  try {
    archive.CloseArchive(false, false);
  } catch (...) {
    stamps_.Discard();
    throw;
  }
  ownArchiveFiles_.clear();
  const bool removed = job_->NoEmpty && empty && !path.empty();
  if (removed) {
    RemoveFileOf(path, false);
  } else if (!path.empty()) {
    committedArchives_.push_back(path);
    ++result_.archivesWritten;
  }
  // Only files whose entries read back sound are stamped.
  std::vector<EntryProblem> problems;
  if (commitCheck_.AfterCommit(entries, LocalNow(), !removed, walked,
                               [this] { return StopRequested(); }, &problems)) {
    stamps_.Commit();
    return;
  }
  stamps_.Discard();
  succeeded_ = false;
  for (const EntryProblem& problem : problems) {
    const wxString reason = wxString::Format(_("entry \"%s\" is damaged after writing: %s"),
                                             wxString::FromUTF8(problem.entry),
                                             wxString::FromUTF8(problem.reason));
    wxLogError("%s: %s", wxString::FromUTF8(problem.archive), reason);
    result_.Fail(reason.ToStdString(wxConvUTF8), problem.archive);
  }
}

// A staged archive is not committed when it would take the place of a
// complete earlier one without being complete itself, or (NoEmpty) when it
// holds nothing. Where nothing was in place, an incomplete archive is kept:
// some backup is better than none.
bool BackupRunner::KeepsPreviousArchive(const ZipWriter& archive, bool walked) const {
  if (openFate_ == ArchiveFate::Kept) return false;
  if (job_->NoEmpty && archive.EntryCount() == 0) return true;
  return !walked && openFate_ != ArchiveFate::Created;
}

bool BackupRunner::RunNow(BackupJob* job, bool full, std::function<bool()> stopRequested,
                          RunTrigger trigger) {
  if (IsBusy()) return false;
  job_ = job;
  fullBackup_ = full;
  trigger_ = trigger;
  progress_.Reset();
  stopRequested_ = std::move(stopRequested);
  const bool result = RunAndRecord();
  stopRequested_ = nullptr;
  return result;
}

bool BackupRunner::AddSourceFile(ZipWriter& archive, const SourceFile& file) {
  std::string path =
      ToNativeSeparators(JoinPath(job_->SourceRootPath, JoinPath(file.relativeDir, file.name)));
  // Reading an archive that is being written would never reach its end, and
  // storing the job's own archives would double the backup on every run.
  if (IsOwnArchiveFile(file.seen) || archive.IsArchiveFile(path)) return false;
  // A link may lead to a file that is made up as it is read and can block.
  if (file.seen.isSymlink && platform::Env::Current()->IsPseudoFileSystem(path)) {
    result_.notDiskBacked.Add(path);
    return false;
  }
  AddFileRequest request(path, false);
  request.level = job_->CompressionLevel;
  request.options = kAddOptions;
  request.bufferSize = kBufferSize;
  request.replaceIndex = archive.FindDuplicate(path, false, false, ZipWriter::PredictAuto);
  // The entry records the file as the walk listed it: no second look.
  ZipSourceProperties properties;
  properties.attributes = file.Attributes();
  properties.unixMode = file.seen.mode & 0xFFFF;
  properties.modificationTime = file.seen.mtimeSeconds;
  request.sourceProperties = &properties;
  bool added = false;
  try {
    added = archive.AddFile(request);
  } catch (const ZipException& error) {
    // A file that fails while it is read is left out (the writer has dropped
    // its entry) and the walk goes on; any other error is the archive's.
    if (error.code < ZipException::GenericError && error.fileName == path) {
      result_.AddSkipped(path);
      return false;
    }
    LogArchiveError(error, archive.ArchivePath());
    RecordZipError(error, path);
    throw;
  }
  if (!added) {
    if (!archive.IsClosed()) result_.AddSkipped(path);
    return false;
  }
  // Only files that made it into the archive are counted: not its directory
  // entries, not a file that could not be read.
  progress_.filesAdded += 1;
  if (ChangedSince(path, file.seen)) {
    result_.changedFiles.Add(path);
    return true;
  }
  commitCheck_.NoteWritten(archive, path);
  if ((file.Attributes() & platform::AttrArchive) != 0 && !file.seen.isSymlink &&
      IsOlderThanRun(file.seen, runStartNanoseconds_)) {
    stamps_.Add(path, file.seen);
  }
  return true;
}

bool BackupRunner::BackupDirectory(ZipWriter& archive, const std::string& relativeDir,
                                   const std::string& backupDirectory) {
  Actions actions(*this, archive, backupDirectory);
  SourceWalker walker(*job_, fullBackup_, [this] { return StopRequested(); }, actions);
  if (archiveHome_.inode != 0) walker.SkipDirectory(archiveHome_);
  return walker.BackupDirectory(relativeDir);
}

bool BackupRunner::PrepareArchive(ZipWriter& archive, const std::string& baseDir,
                                  const std::string& archiveName) {
  const ArchivePreparer preparer(*job_, fullBackup_, runStart_);
  const PreparedArchive prepared = preparer.PrepareArchive(archive, baseDir, archiveName);
  if (prepared.opened) {
    if (archive.JournalSetAside()) {
      wxLogWarning(_("A journal beside archive '%s' does not belong to it and was not played "
                     "back; it was moved to '%s'. The archive was used as it is."),
                   FileSystemText(archive.ArchivePath()),
                   FileSystemText(ZipJournal::SetAsidePathFor(archive.ArchivePath())));
    }
    openFate_ = prepared.fate;
    commitCheck_.Begin(baseDir, archiveName, prepared, fullBackup_, job_->Suffix != SuffixKind::None);
    NoteOpenedArchive(archive, baseDir);
    return true;
  }
  result_.Fail(wxString(_("the earlier archive could not be moved aside")).ToStdString(wxConvUTF8),
               JoinPath(baseDir, archiveName) + ".zip");
  succeeded_ = false;
  return false;
}

// Remembers the files of the open archive (the archive, its staged new
// version, its journal, its "(old n)" predecessors, the directory's archive
// index) and the directory the
// run's archives go to, by identity, so the walk reads none of them whatever
// path spelling leads there.
void BackupRunner::NoteOpenedArchive(const ZipWriter& archive, const std::string& baseDir) {
  platform::Env* env = platform::Env::Current();
  const std::string path = archive.ArchivePath();
  std::vector<std::string> files = RetiredArchivePaths(path);
  files.insert(files.end(),
               {path, ZipArchiveFile::StagingPathFor(path), ZipJournal::PathFor(path),
                JoinPath(ToNativeSeparators(baseDir), ArchiveIndex::kFileName)});
  ownArchiveFiles_.clear();
  for (const std::string& file : files) {
    platform::FileInfo info;
    if (env->Stat(file, &info) == 0) ownArchiveFiles_.push_back(info);
  }
  if (env->Stat(baseDir.empty() ? "." : ToNativeSeparators(baseDir), &archiveHome_) != 0) {
    archiveHome_ = platform::FileInfo();
  }
}

bool BackupRunner::IsOwnArchiveFile(const platform::FileInfo& file) const {
  return std::any_of(ownArchiveFiles_.begin(), ownArchiveFiles_.end(),
                     [&file](const platform::FileInfo& open) {
                       return platform::IsSameFile(open, file);
                     });
}

// With SubDirIndividual the archive moves on to the subdirectory's own files
// archive; otherwise a full run stores a directory entry for it.
bool BackupRunner::EnterSubdirectory(ZipWriter& archive, const std::string& relativeDir,
                                     const std::string& name,
                                     const std::string& backupDirectory) {
  const std::string sub = JoinPath(relativeDir, name);
  if (job_->SubDirIndividual) {
    FinishArchive(archive);
    return PrepareArchive(archive, backupDirectory, JoinPath(ArchiveRelativePath(sub), "files"));
  }
  if (!fullBackup_) return true;
  const std::string path =
      ToNativeSeparators(JoinPath(JoinPath(job_->SourceRootPath, relativeDir), name));
  try {
    archive.AddFile(path, -1, false, kAddOptions, kBufferSize);
  } catch (const ZipException& error) {
    RecordZipError(error, path);
    return false;
  }
  return true;
}

// A thread that cannot be created or started is dropped and reported as false,
// so no caller waits for a run that never happens.
bool BackupRunner::Start(BackupJob* job, bool full, RunTrigger trigger) {
  if (IsBusy() || job == nullptr) return false;
  job_ = job;
  fullBackup_ = full;
  trigger_ = trigger;
  ReapThread();
  thread_ = std::make_unique<BackupThread>(*this);
  if (thread_->Create(0) != wxTHREAD_NO_ERROR) {
    thread_.reset();
    return false;
  }
  thread_->SetPriority(ThreadPriority(job->Priority));
  if (thread_->Run() != wxTHREAD_NO_ERROR) {
    thread_.reset();
    return false;
  }
  return true;
}

bool BackupRunner::Stop() {
  if (!IsBusy()) return true;
  thread_->Delete();
  ReapThread();
  return true;
}

bool BackupRunner::IsBusy() const { return thread_ != nullptr && thread_->IsRunning(); }

BackupJob* BackupRunner::RunningJob() const { return IsBusy() ? job_ : nullptr; }

bool BackupRunner::RunInThread() {
  progress_.Reset();
  const bool result = RunAndRecord();
  progress_.finishedJob = job_;
  return result;
}

bool BackupRunner::StopRequested() const {
  wxThread* worker = CurrentWorker();
  if (worker != nullptr) return worker->TestDestroy();
  return stopRequested_ && stopRequested_();
}

// The runner's worker thread when called on it; null on any other thread, so
// a run on the calling thread (batch mode) is never cancelled.
wxThread* BackupRunner::CurrentWorker() const {
  return thread_ != nullptr && wxThread::This() == thread_.get() ? thread_.get() : nullptr;
}

// Waits for an ended worker and frees its thread object.
void BackupRunner::ReapThread() {
  if (thread_ == nullptr) return;
  thread_->Delete();
  thread_->Wait();
  thread_.reset();
}

bool BackupRunner::RunAndRecord() {
  platform::Clock* clock = platform::Clock::Current();
  const int64_t start = clock->Now();
  const bool result = Run();
  if (history_ == nullptr || job_ == nullptr) return result;
  RunRecord record;
  record.start = start;
  record.end = clock->Now();
  record.full = fullBackup_;
  record.trigger = trigger_;
  record.outcome = result_.cancelled ? RunRecord::Outcome::Cancelled
                   : result         ? RunRecord::Outcome::Succeeded
                                    : RunRecord::Outcome::Failed;
  record.reason = result_.FailureText();
  if (record.reason.empty() && result_.skippedCount > 0) {
    record.reason = std::to_string(result_.skippedCount) + " files could not be read";
  }
  record.files = progress_.filesAdded.load();
  record.bytes = progress_.bytesRead.load();
  record.archives = result_.archivesWritten;
  record.job = job_->BackupTitle;
  record.definition = RecordedDefinition(job_->DefinitionPath);
  history_->Append(record);
  return result;
}
