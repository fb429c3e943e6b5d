// The application's single backup runner: one run of one job, either on the
// calling thread (RunNow, batch mode) or on a worker thread (Start). A run
// writes one ZIP archive per archive directory of the job (or one per
// directory with SubDirIndividual) below the job's target directory.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "engine/ArchiveCommitCheck.h"
#include "engine/ArchivePreparer.h"
#include "engine/PendingStamps.h"
#include "engine/RunRecord.h"
#include "engine/RunResult.h"
#include "platform/Env.h"

class BackupCallback;
class BackupJob;
class BackupProgress;
class BackupThread;
class RunHistory;
struct SourceFile;
class ZipException;
class ZipWriter;
class wxThread;

class BackupRunner {
 public:
  // `progress` receives the counters of every run; it must outlive the runner.
  explicit BackupRunner(BackupProgress& progress);
  ~BackupRunner();
  BackupRunner(const BackupRunner&) = delete;
  BackupRunner& operator=(const BackupRunner&) = delete;

  // Performs the run of Job() with kind FullBackup() on the calling thread.
  // False when the target directory is missing, the source root or an archive
  // directory cannot be listed (then nothing is written), an archive could
  // not be prepared, the run was cancelled or an archive error reached the run.
  bool Run();

  // Sets the job and kind, resets the progress values and runs on the calling
  // thread. Such a run is cancelled only through `stopRequested` (asked
  // between entries and after every chunk read), e.g. by a termination
  // signal. False without running while a worker run is going on.
  bool RunNow(BackupJob* job, bool full, std::function<bool()> stopRequested = nullptr,
              RunTrigger trigger = RunTrigger::Batch);

  // Starts a run on a new worker thread at the job's priority. False, with
  // nothing changed, while a run is going on; false also when no thread could
  // be started.
  bool Start(BackupJob* job, bool full, RunTrigger trigger = RunTrigger::Window);

  // Every run from now on appends its record to `history` (not owned; null
  // stops recording). Set it while no run is going on.
  void RecordRunsIn(RunHistory* history) { history_ = history; }

  // Cancels a running worker and waits until it has closed its archive and
  // ended. Always true.
  bool Stop();

  // A worker thread exists and is running.
  bool IsBusy() const;

  // The job being run while IsBusy(), else null.
  BackupJob* RunningJob() const;

  // The worker's body: resets the progress values, runs, then publishes the
  // job as finished.
  bool RunInThread();

  // The job, kind and result of the current or last run.
  BackupJob* Job() const { return job_; }
  bool FullBackup() const { return fullBackup_; }
  bool Succeeded() const { return succeeded_; }

  // How the current or last run ended: reason of a failure, files skipped.
  // Written by the run's thread; read it once the run has ended (RunNow has
  // returned, or the progress values name the job as finished).
  const RunResult& Result() const { return result_; }

  // Adds one selected source file to `archive`: true when stored, false when
  // it could not be opened or read (counted as skipped; the walk goes on) or
  // the file is one of the job's own archives (open for writing, or an
  // earlier one kept beside it). A stored file that carried the archive
  // attribute is stamped when the archive commits, unless it changed while it
  // was read (then it is named in the result), was modified in the timestamp
  // tick the run started in, or was reached through a symbolic link (the
  // stamp would land on its target). Archive errors are thrown.
  bool AddSourceFile(ZipWriter& archive, const SourceFile& file);

  // Walks the source directory `relativeDir` (relative to the source root) and
  // everything below it into `archive`. False when cancelled or stopped by an
  // archive error.
  bool BackupDirectory(ZipWriter& archive, const std::string& relativeDir,
                       const std::string& backupDirectory);

  // Names, rotates and opens the archive `archiveName` below `baseDir`. False
  // only when its directory could not be made; writer errors are thrown.
  bool PrepareArchive(ZipWriter& archive, const std::string& baseDir,
                      const std::string& archiveName);

  // True when the worker running this run has been asked to stop. Always
  // false on the calling thread of RunNow.
  bool StopRequested() const;

 private:
  class Actions;

  // What became of one archive of a run.
  enum class ArchiveOutcome {
    NotPrepared,  // it could not be prepared: the run ends
    Walked,       // its source tree was walked completely
    WalkFailed,   // the walk was cancelled or stopped by an archive error
  };

  bool CheckSourceFolders();
  bool HasRoomForRun(const std::string& backupDirectory);
  bool RunArchives(const std::string& backupDirectory);
  bool RunSourceRoot(const std::string& backupDirectory);
  ArchiveOutcome BackupOneArchive(const std::string& baseDir, const std::string& archiveName,
                                  const std::string& sourceDir, const std::string& rootDir,
                                  const std::string& backupDirectory);
  void FinishArchive(ZipWriter& archive, bool walked = true);
  bool KeepsPreviousArchive(const ZipWriter& archive, bool walked) const;
  void NoteOpenedArchive(const ZipWriter& archive, const std::string& baseDir);
  bool IsOwnArchiveFile(const platform::FileInfo& file) const;
  void RecordZipError(const ZipException& error, const std::string& otherwisePath);
  bool EnterSubdirectory(ZipWriter& archive, const std::string& relativeDir,
                         const std::string& name, const std::string& backupDirectory);
  wxThread* CurrentWorker() const;
  void ReapThread();
  // Run() with the run's record appended to the history.
  bool RunAndRecord();

  BackupProgress& progress_;
  BackupJob* job_ = nullptr;
  bool fullBackup_ = true;
  RunTrigger trigger_ = RunTrigger::Window;
  RunHistory* history_ = nullptr;
  std::unique_ptr<BackupThread> thread_;
  std::atomic<bool> succeeded_{true};
  wxDateTime runStart_;                     // local time the current run started
  int64_t runStartNanoseconds_ = 0;         // the same moment, since the epoch
  BackupCallback* callback_ = nullptr;      // the current run's progress callback
  std::function<bool()> stopRequested_;     // the stop test of a run on the calling thread
  RunResult result_;
  PendingStamps stamps_;                    // of the files in the archive being written
  ArchiveCommitCheck commitCheck_;          // indexes and checks the archive once committed
  ArchiveFate openFate_ = ArchiveFate::Created;  // what the open archive does to the one in place
  std::vector<platform::FileInfo> ownArchiveFiles_;  // identities of the open archive's files
  std::vector<std::string> committedArchives_;      // paths of the archives this run committed
  platform::FileInfo archiveHome_;          // identity of the directory the archives go to
};
