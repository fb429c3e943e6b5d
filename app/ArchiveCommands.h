// The archive commands of the command line: "--list", "--restore DIR" and
// "--verify" on the job of a definition file, with their output on stdout
// (listings) and stderr (problems), and their exit status.
#pragma once

#include <wx/string.h>

#include "app/CommandLine.h"

class ArchiveCatalogue;
namespace platform {
class TerminationSignals;
}

class ArchiveCommands {
 public:
  // `signals` (may be null) stops a restore or a verify.
  ArchiveCommands(const StartOptions& options, const wxString& programPath,
                  const platform::TerminationSignals* signals)
      : options_(options), programPath_(programPath), signals_(signals) {}

  // Carries out the command: 0 success; 1 failure (no job, a refused time, no
  // archive of the job as of the time, a failed restore, damage found); 3 a
  // restore that skipped files.
  int Run();

 private:
  int List(const ArchiveCatalogue& catalogue, const wxDateTime& asOf);
  int Restore(const ArchiveCatalogue& catalogue, const wxDateTime& asOf);
  int Verify(const ArchiveCatalogue& catalogue);

  const StartOptions& options_;
  wxString programPath_;
  const platform::TerminationSignals* signals_;
};
