// Batch mode: one backup of the job in a definition file named on the command
// line, run to its end on the calling thread.
#pragma once

#include <wx/string.h>

class BackupRunner;

// Where the definition file `file` is found: as given (relative to the current
// directory, or absolute), else in the program's directory, else in the
// program's "BackupDef" directory. The program's directory is `programPath`
// (the command line's first argument) up to its last '/'; when that argument
// holds no directory, the directory of the running executable is used.
// Returns an empty string when none of the three places holds a file.
wxString FindDefinitionFile(const wxString& file, const wxString& programPath);

// Looks the file up (FindDefinitionFile), loads its job and runs a full or
// incremental backup of it through `runner` on the calling thread. Unless
// `silent`, logs "Couldn't open file '%s'." (error) when no file is found,
// else "Processing backup file '%s'..." and then "Backup successfully
// finished." (message) or "Backup failed." (error).
// Returns true when the backup ran and succeeded; false when the file was not
// found or the run failed, so the caller can end with a non-zero exit status.
bool RunDefinitionFile(BackupRunner& runner, const wxString& file, bool full, bool silent,
                       const wxString& programPath);
