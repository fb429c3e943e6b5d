#include "engine/BatchRun.h"

#include <optional>

#include <wx/intl.h>
#include <wx/log.h>

#include "engine/BackupRunner.h"
#include "jobs/BackupJob.h"
#include "platform/Env.h"

namespace {

// True when `path` names a regular file (so loading it cannot block on a FIFO
// or fail on a directory).
bool IsRegularFile(const wxString& path) {
  platform::FileInfo info;
  return platform::Env::Current()->Stat(path.utf8_string(), &info) == 0 && info.isRegular;
}

// The directory of the program: its path up to the last '/', or the running
// executable's directory when the path names no directory. Empty when unknown.
wxString ProgramDirectory(const wxString& programPath) {
  const int slash = programPath.Find('/', true);
  if (slash != wxNOT_FOUND) return programPath.Left(slash);
  return wxString::FromUTF8(platform::Env::Current()->ExecutableDirectory());
}

}  // namespace

wxString FindDefinitionFile(const wxString& file, const wxString& programPath) {
  if (IsRegularFile(file)) return file;
  const wxString directory = ProgramDirectory(programPath);
  if (directory.empty() && programPath.Find('/') == wxNOT_FOUND) return wxString();
  const wxString besideProgram = directory + "/" + file;
  if (IsRegularFile(besideProgram)) return besideProgram;
  const wxString inDefinitions = directory + "/BackupDef/" + file;
  if (IsRegularFile(inDefinitions)) return inDefinitions;
  return wxString();
}

bool RunDefinitionFile(BackupRunner& runner, const wxString& file, bool full, bool silent,
                       const wxString& programPath) {
  // Silence covers everything the run would log, enumeration errors included.
  std::optional<wxLogNull> quiet;
  if (silent) quiet.emplace();
  const wxString found = FindDefinitionFile(file, programPath);
  if (found.empty()) {
    if (!silent) wxLogError(_("Couldn't open file '%s'."), file);
    return false;
  }
  if (!silent) wxLogMessage(_("Processing backup file '%s'..."), file);
  // A file that does not load leaves a blank job, whose missing target
  // directory makes the run fail at once.
  BackupJob job;
  job.Load(found.utf8_string());
  const bool succeeded = runner.RunNow(&job, full);
  if (!silent) {
    if (succeeded) {
      wxLogMessage(_("Backup successfully finished."));
    } else {
      wxLogError(_("Backup failed."));
    }
  }
  return succeeded;
}

