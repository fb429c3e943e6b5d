#include "engine/BatchRun.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <wx/intl.h>
#include <wx/log.h>

#include "engine/BackupRunner.h"
#include "engine/PathUtil.h"
#include "engine/RunResult.h"
#include "jobs/BackupJob.h"
#include "platform/Env.h"
#include "platform/TerminationSignals.h"

namespace {

// True when `path` names a regular file (so loading it cannot block on a FIFO
// or fail on a directory).
bool IsRegularFile(const wxString& path) {
  platform::FileInfo info;
  return platform::Env::Current()->Stat(PathBytes(path), &info) == 0 && info.isRegular;
}

// The directory of the program: its path up to the last '/', or the running
// executable's directory when the path names no directory. Empty when unknown.
wxString ProgramDirectory(const wxString& programPath) {
  const int slash = programPath.Find('/', true);
  if (slash != wxNOT_FOUND) return programPath.Left(slash);
  return wxString::FromUTF8(platform::Env::Current()->ExecutableDirectory());
}

// "'a', 'b' and 3 more": the named paths, then how many are unnamed.
wxString PathList(const std::vector<std::string>& named, size_t count, bool quote) {
  wxString list;
  for (const std::string& path : named) {
    if (!list.empty()) list += ", ";
    list += quote ? "'" + FileSystemText(path) + "'" : FileSystemText(path);
  }
  const size_t unnamed = count - named.size();
  if (unnamed > 0) list += wxString::Format(_(" and %zu more"), unnamed);
  return list;
}

wxString PathList(const NamedPaths& paths) { return PathList(paths.paths, paths.count, false); }

// The run's closing message, then what a user needs to act on it.
void ReportOutcome(bool succeeded, const RunResult& result,
                   const platform::TerminationSignals* signals) {
  if (result.skippedCount > 0) {
    wxLogWarning(_("%u files could not be read and were not stored: %s"), result.skippedCount,
                 PathList(result.skippedFiles, result.skippedCount, true));
  }
  if (result.unreadFolders.count > 0) {
    wxLogWarning(_("%u folders could not be read and were not stored: %s"),
                 result.unreadFolders.count, PathList(result.unreadFolders));
  }
  if (result.changedFiles.count > 0) {
    wxLogWarning(_("changed while being stored: %s"), PathList(result.changedFiles));
  }
  if (result.notDiskBacked.count > 0) {
    wxLogMessage(_("Not read (no disk-backed files): %s"), PathList(result.notDiskBacked));
  }
  for (const std::string& removed : result.removedArchives) {
    wxLogMessage(_("Removed old backup: %s"), FileSystemText(removed));
  }
  if (succeeded && result.Incomplete()) {
    wxLogWarning(_("Backup finished, but not everything selected was stored."));
    return;
  }
  if (succeeded) {
    wxLogMessage(_("Backup successfully finished."));
    return;
  }
  wxLogError(_("Backup failed."));
  if (result.cancelled && signals != nullptr && signals->Requested()) {
    wxLogError(_("Cancelled by signal: %s."),
               FileSystemText(platform::SignalText(signals->SignalNumber())));
  } else if (!result.FailureText().empty()) {
    wxLogError(_("Reason: %s"), FileSystemText(result.FailureText()));
  }
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

BatchStatus RunDefinitionFile(BackupRunner& runner, const wxString& file, bool full, bool silent,
                              const wxString& programPath,
                              const platform::TerminationSignals* signals) {
  // Silence covers everything the run would log, enumeration errors included.
  std::optional<wxLogNull> quiet;
  if (silent) quiet.emplace();
  const wxString found = FindDefinitionFile(file, programPath);
  if (found.empty()) {
    if (!silent) wxLogError(_("Couldn't open file '%s'."), file);
    return BatchStatus::Failed;
  }
  if (!silent) wxLogMessage(_("Processing backup file '%s'..."), file);
  // A file that does not load leaves a blank job, whose missing target
  // directory makes the run fail at once.
  BackupJob job;
  job.Load(PathBytes(found));
  std::function<bool()> stopRequested;
  if (signals != nullptr) stopRequested = [signals] { return signals->Requested(); };
  const bool succeeded = runner.RunNow(&job, full, stopRequested);
  const RunResult& result = runner.Result();
  if (!silent) ReportOutcome(succeeded, result, signals);
  if (!succeeded) return BatchStatus::Failed;
  return result.Incomplete() ? BatchStatus::FilesSkipped : BatchStatus::Succeeded;
}
