#include "jobs/JobStore.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include <wx/intl.h>
#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "jobs/DefinitionFileName.h"
#include "jobs/JobUnscheduler.h"
#include "platform/Env.h"

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Names of the plain files "*.xml" in `directory`, sorted, so the job list has
// the same order on every start. A missing directory gives none, silently.
std::vector<std::string> DefinitionFileNames(const std::string& directory) {
  std::vector<std::string> names;
  std::unique_ptr<platform::DirectoryReader> reader;
  const int error = platform::Env::Current()->OpenDirectory(directory, &reader);
  if (error != 0) {
    if (error != ENOENT) {
      wxLogSysError(error, _("Can not enumerate files in directory '%s'"),
                    wxString::FromUTF8(directory));
    }
    return names;
  }
  platform::DirEntry entry;
  while (reader->Next(&entry)) {
    if (entry.info.isRegular && EndsWith(entry.name, ".xml")) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

JobStore::JobStore(JobList& jobs, JobUnscheduler& unscheduler)
    : jobs_(jobs), unscheduler_(unscheduler) {}

void JobStore::LoadJobs() {
  const std::string directory = DefinitionFileName::kDirectory;
  for (const std::string& name : DefinitionFileNames(directory)) {
    LoadJob(directory + "/" + name);
  }
}

void JobStore::LoadJob(const std::string& path) {
  auto job = std::make_unique<BackupJob>();
  if (!job->Load(path)) {
    // A broken file is left out rather than shown as a blank job: saving that
    // blank job would overwrite whatever the file still holds.
    wxLogError(_("The backup job definition '%s' could not be read and is not loaded."),
               wxString::FromUTF8(path));
    return;
  }
  jobs_.push_back(std::move(job));
}

bool JobStore::IsTitleInUse(const std::string& title) const {
  return std::any_of(jobs_.begin(), jobs_.end(),
                     [&title](const std::unique_ptr<BackupJob>& job) {
                       return job->BackupTitle == title;
                     });
}

BackupJob* JobStore::CreateJob() {
  std::string title = "New Job";
  for (int counter = 1; IsTitleInUse(title); ++counter) {
    title = wxString::Format(wxGetTranslation("New Job (%i)"), counter).ToStdString(wxConvUTF8);
  }
  jobs_.push_back(std::make_unique<BackupJob>(title));
  // A new job makes up the runs it misses.
  jobs_.back()->CatchUp = true;
  return jobs_.back().get();
}

BackupJob* JobStore::CopyJob(size_t index) {
  if (index >= jobs_.size()) return nullptr;
  const BackupJob& source = *jobs_[index];
  std::unique_ptr<BackupJob> copy = source.Clone();
  const std::string prefix = wxGetTranslation("Copy of ").ToStdString(wxConvUTF8);
  copy->DefinitionPath.clear();
  copy->BackupTitle = prefix + source.BackupTitle;
  copy->BackupName = prefix + source.BackupName;
  copy->Modified = true;
  jobs_.push_back(std::move(copy));
  return jobs_.back().get();
}

void JobStore::DeleteJob(size_t index) {
  if (index >= jobs_.size()) return;
  std::unique_ptr<BackupJob> job = std::move(jobs_[index]);
  unscheduler_.UnscheduleJob(job.get());
  jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(index));
  if (!job->DefinitionPath.empty()) platform::Env::Current()->RemoveFile(job->DefinitionPath);
}
