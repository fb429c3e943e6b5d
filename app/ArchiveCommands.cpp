#include "app/ArchiveCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <wx/intl.h>

#include "engine/ArchiveCatalogue.h"
#include "engine/ArchiveNaming.h"
#include "engine/ArchiveVerifier.h"
#include "engine/AsOfTime.h"
#include "engine/BatchRun.h"
#include "engine/JobVersions.h"
#include "engine/PathUtil.h"
#include "engine/ReadCallback.h"
#include "engine/RestoreRun.h"
#include "jobs/BackupJob.h"
#include "platform/Env.h"
#include "platform/TerminationSignals.h"

namespace {

constexpr const char* kTimeFormat = "%Y-%m-%d %H:%M:%S";

void Print(FILE* stream, const wxString& line) { std::fputs((line + "\n").utf8_str(), stream); }

wxString Text(const std::string& bytes) { return FileSystemText(bytes); }

wxString Time(const wxDateTime& when) { return when.Format(kTimeFormat); }

}  // namespace

int ArchiveCommands::Run() {
  const wxString found = FindDefinitionFile(options_.definitionFile, programPath_);
  BackupJob job;
  if (found.empty() || !job.Load(PathBytes(found))) {
    Print(stderr, wxString::Format(_("Couldn't open file '%s'."), options_.definitionFile));
    return EXIT_FAILURE;
  }
  wxDateTime asOf;
  if (!options_.asOf.empty() &&
      !ParseAsOfTime(options_.asOf.ToStdString(wxConvUTF8), LocalNow(), &asOf)) {
    Print(stderr, wxString::Format(_("Unknown time '%s'; %s."), options_.asOf,
                                   wxString::FromUTF8(AsOfTimeForms())));
    return EXIT_FAILURE;
  }
  const ArchiveCatalogue catalogue = ArchiveCatalogue::Scan(*platform::Env::Current(), job);
  // Nothing found is never a success: the target may be unplugged or the time too early.
  const bool verify = options_.command == ArchiveCommand::Verify;
  if (std::none_of(catalogue.Archives().begin(), catalogue.Archives().end(),
                   [&](const CatalogueArchive& archive) {
                     return verify || !asOf.IsValid() || !archive.committed.IsLaterThan(asOf);
                   })) {
    const wxString target = Text(job.TargetPath);
    Print(stderr, verify || !asOf.IsValid()
                      ? wxString::Format(_("No archive of the job found in '%s'."), target)
                      : wxString::Format(_("No archive of the job found in '%s' as of %s."), target,
                                         Time(asOf)));
    return EXIT_FAILURE;
  }
  switch (options_.command) {
    case ArchiveCommand::List: return List(catalogue, asOf);
    case ArchiveCommand::Restore: return Restore(catalogue, asOf);
    case ArchiveCommand::Verify: return Verify(catalogue);
    case ArchiveCommand::None: break;
  }
  return EXIT_FAILURE;
}

// The archives as of the moment (commit time, kind, entries, path) or, with a
// path, each stored version of the files at or below it.
int ArchiveCommands::List(const ArchiveCatalogue& catalogue, const wxDateTime& asOf) {
  if (options_.paths.empty()) {
    for (const CatalogueArchive& archive : catalogue.Archives()) {
      if (asOf.IsValid() && archive.committed.IsLaterThan(asOf)) continue;
      Print(stdout, wxString::Format("%s  %-11s  %8llu  %s", Time(archive.committed),
                                     ArchiveKindName(archive.kind),
                                     static_cast<unsigned long long>(archive.entries),
                                     Text(archive.path)));
    }
    return EXIT_SUCCESS;
  }
  std::vector<EntryProblem> problems;
  const JobVersions versions = JobVersions::Read(catalogue, asOf, &problems);
  for (const EntryProblem& problem : problems) Print(stderr, Text(problem.Text()));
  const std::string wanted = PathBytes(options_.paths.front());
  bool any = false;
  for (const auto& [path, list] : versions.Paths()) {
    if (!IsSelected(path, wanted)) continue;
    any = true;
    for (const StoredVersion& version : list) {
      const CatalogueArchive& archive = catalogue.Archives()[version.archive];
      Print(stdout, wxString::Format("%s  %12llu  %s  %s  (%s)", Time(archive.committed),
                                     static_cast<unsigned long long>(version.size),
                                     Time(wxDateTime(static_cast<time_t>(version.modified))),
                                     Text(path), Text(archive.path)));
    }
  }
  if (!any) Print(stderr, wxString::Format(_("'%s' is not in the archives."), options_.paths.front()));
  return any && problems.empty() ? EXIT_SUCCESS : EXIT_FAILURE;
}

int ArchiveCommands::Restore(const ArchiveCatalogue& catalogue, const wxDateTime& asOf) {
  RestoreRequest request;
  request.destination = PathBytes(options_.restoreDirectory);
  request.asOf = asOf;
  request.overwrite = options_.overwrite;
  for (const wxString& path : options_.paths) request.paths.push_back(PathBytes(path));
  ReadProgress progress;
  std::function<bool()> stop;
  if (signals_ != nullptr) stop = [this] { return signals_->Requested(); };
  ReadCallback callback(progress, stop);
  const RestoreResult result = RestoreRun(*platform::Env::Current(), callback).Run(catalogue, request);
  for (const RestoreOutcome& outcome : result.problems) {
    const wxString what = outcome.status == RestoreStatus::Skipped  ? _("skipped")
                          : outcome.status == RestoreStatus::Refused ? _("refused")
                                                                     : _("failed");
    Print(stderr, wxString::Format("%s: %s: %s", what, Text(outcome.path), Text(outcome.reason)));
  }
  if (result.cancelled) {
    Print(stderr, _("Restore cancelled."));
  } else if (!options_.silent) {
    Print(stderr, wxString::Format(_("%llu files restored, %zu not."),
                                   static_cast<unsigned long long>(result.restored),
                                   result.problems.size()));
  }
  return result.ExitStatus();
}

int ArchiveCommands::Verify(const ArchiveCatalogue& catalogue) {
  ReadProgress progress;
  std::function<bool()> stop;
  if (signals_ != nullptr) stop = [this] { return signals_->Requested(); };
  ReadCallback callback(progress, stop);
  ArchiveVerifier verifier(callback);
  size_t damaged = 0;
  for (const CatalogueArchive& archive : catalogue.Archives()) {
    const std::vector<EntryProblem> problems = verifier.Check(archive.path);
    for (const EntryProblem& problem : problems) Print(stderr, Text(problem.Text()));
    damaged += problems.size();
    if (verifier.Stopped()) {
      Print(stderr, _("Verify cancelled."));
      return EXIT_FAILURE;
    }
  }
  if (!options_.silent) {
    Print(stderr, wxString::Format(_("%zu archives checked, %zu problems found."),
                                   catalogue.Archives().size(), damaged));
  }
  return damaged == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
