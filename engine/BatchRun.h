// Batch mode: one backup of the job in a definition file named on the command
// line, run to its end on the calling thread.
#pragma once

#include <wx/string.h>

class BackupRunner;
namespace platform {
class TerminationSignals;
}

// Where the definition file `file` is found: as given (relative to the current
// directory, or absolute), else in the program's directory, else in the
// program's "BackupDef" directory. The program's directory is `programPath`
// (the command line's first argument) up to its last '/'; when that argument
// holds no directory, the directory of the running executable is used.
// Returns an empty string when none of the three places holds a file.
wxString FindDefinitionFile(const wxString& file, const wxString& programPath);

// The exit status of a batch run.
enum class BatchStatus {
  Succeeded = 0,     // the backup ran and succeeded
  Failed = 1,        // no definition file, or the run failed or was cancelled
  FilesSkipped = 3,  // the backup succeeded, but some files or folders are not stored as they are
};

// Looks the file up (FindDefinitionFile), loads its job and runs a full or
// incremental backup of it through `runner` on the calling thread. A
// termination signal caught by `signals` (may be null) cancels the run: the
// current archive is closed and committed, and the run fails.
// Unless `silent`, logs "Couldn't open file '%s'." (error) when no file is
// found, else "Processing backup file '%s'..." and then "Backup successfully
// finished." (message) or "Backup failed." (error) followed by the reason
// (the system's text and the path, or the signal). Files that could not be
// read, folders that could not be listed and files that changed while they
// were stored are counted and the first of each named (warning); a run with
// any of them ends with "Backup finished, but not everything selected was
// stored." (warning) instead of the success message.
BatchStatus RunDefinitionFile(BackupRunner& runner, const wxString& file, bool full, bool silent,
                              const wxString& programPath,
                              const platform::TerminationSignals* signals = nullptr);
