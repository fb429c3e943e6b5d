// The application's single backup runner: one run of one job, either on the
// calling thread (RunNow, batch mode) or on a worker thread (Start). A run
// writes one ZIP archive per archive directory of the job (or one per
// directory with SubDirIndividual) below the job's target directory.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <wx/datetime.h>

class BackupCallback;
class BackupJob;
class BackupProgress;
class BackupThread;
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
  // False when the target directory is missing, an archive could not be
  // prepared, the run was cancelled or an archive error reached the run.
  bool Run();

  // Sets the job and kind, resets the progress values and runs on the calling
  // thread; such a run cannot be cancelled. False without running while a
  // worker run is going on.
  bool RunNow(BackupJob* job, bool full);

  // Starts a run on a new worker thread at the job's priority. False, with
  // nothing changed, while a run is going on; false also when no thread could
  // be started.
  bool Start(BackupJob* job, bool full);

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

  // Adds one source file below `relativeDir` to `archive`: true when stored,
  // false when the writer refused it or the file is the archive itself (a
  // target inside the source tree). Archive errors are thrown.
  bool AddSourceFile(ZipWriter& archive, const std::string& relativeDir,
                     const std::string& name);

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

  bool RunArchives(const std::string& backupDirectory);
  bool RunSourceRoot(const std::string& backupDirectory);
  ArchiveOutcome BackupOneArchive(const std::string& baseDir, const std::string& archiveName,
                                  const std::string& sourceDir, const std::string& rootDir,
                                  const std::string& backupDirectory);
  void FinishArchive(ZipWriter& archive);
  bool EnterSubdirectory(ZipWriter& archive, const std::string& relativeDir,
                         const std::string& name, const std::string& backupDirectory);
  wxThread* CurrentWorker() const;
  void ReapThread();

  BackupProgress& progress_;
  BackupJob* job_ = nullptr;
  bool fullBackup_ = true;
  std::unique_ptr<BackupThread> thread_;
  std::atomic<bool> succeeded_{true};
  wxDateTime runStart_;                     // local time the current run started
  BackupCallback* callback_ = nullptr;      // the current run's progress callback
};
