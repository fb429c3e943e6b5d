#include "app/HeadlessApp.h"

#include <cstdio>
#include <cstdlib>

#include <wx/intl.h>
#include <wx/log.h>

#include "app/ArchiveCommands.h"
#include "app/ResourceDirectory.h"
#include "app/StderrLog.h"
#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/RunHistory.h"
#include "engine/BatchRun.h"
#include "platform/TerminationSignals.h"

bool HeadlessApp::OnInit() {
  SetAppName(_("Arkivault"));
  delete wxLog::SetActiveTarget(new StderrLog);
  return true;
}

int HeadlessApp::OnRun() {
  if (options_.help) {
    std::fputs(usageText_.utf8_str(), stdout);
    return EXIT_SUCCESS;
  }
  if (!options_.error.empty()) {
    std::fputs((options_.error + "\n" + usageText_).utf8_str(), stderr);
    return EXIT_FAILURE;
  }
  if (!ResourceDirectory::HoldsReadableArchive(ResourceDirectory::Find())) {
    wxLogError("%s", _("Error loading resource file ") + ResourceDirectory::ArchiveName);
    return EXIT_FAILURE;
  }
  return options_.command == ArchiveCommand::None ? RunBatch() : RunArchiveCommand();
}

int HeadlessApp::RunArchiveCommand() {
  // A termination signal stops a restore or a verify between two pieces of
  // an entry; a partly written file is removed.
  const platform::TerminationSignals signals;
  return ArchiveCommands(options_, argv[0], &signals).Run();
}

int HeadlessApp::RunBatch() {
  BackupProgress progress;
  BackupRunner runner(progress);
  RunHistory history(RunHistory::DefaultDirectory());
  runner.RecordRunsIn(&history);
  // SIGTERM, SIGINT and SIGHUP cancel the run cleanly instead of killing the
  // process in the middle of an archive.
  const platform::TerminationSignals signals;
  return static_cast<int>(RunDefinitionFile(runner, options_.definitionFile,
                                            !options_.incremental, options_.silent, argv[0],
                                            &signals));
}
