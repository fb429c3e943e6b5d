#include "engine/BackupOrchestrator.h"

#include <wx/intl.h>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/ProgressView.h"
#include "jobs/BackupJob.h"

BackupOrchestrator::BackupOrchestrator(const JobList& jobs, BackupRunner& runner,
                                       BackupProgress& progress)
    : jobs_(jobs), runner_(runner), progress_(progress) {}

void BackupOrchestrator::StartJob(int index, bool full) {
  if (runner_.IsBusy()) return;
  if (index < 0 || static_cast<size_t>(index) >= jobs_.size()) return;
  runner_.Start(jobs_[index].get(), full);
}

int BackupOrchestrator::RunningJobIndex() const {
  const BackupJob* running = runner_.RunningJob();
  if (running == nullptr) return -1;
  for (size_t i = 0; i < jobs_.size(); ++i) {
    if (jobs_[i].get() == running) return static_cast<int>(i);
  }
  return -1;
}

void BackupOrchestrator::OnTimer(ProgressView& view) {
  if (const BackupJob* running = runner_.RunningJob()) {
    ShowRunning(view, *running);
  } else if (BackupJob* finished = progress_.finishedJob) {
    ShowFinished(view, finished);
  }
}

wxString BackupOrchestrator::ProgressText(const wxString& title, uint32_t filesAdded,
                                          uint64_t bytesRead) {
  return wxString::Format(_("Processing '%s'.\n%lu files.\n%llu kB."), title,
                          static_cast<unsigned long>(filesAdded),
                          static_cast<unsigned long long>(bytesRead / 1024));
}

// The tray shows the next of the four run icons (frame 1, 2, 3, 4, 1, ...)
// with the progress text; the main window advances its own display. The text
// is built from the running job itself, so a job without a row still shows.
void BackupOrchestrator::ShowRunning(ProgressView& view, const BackupJob& job) {
  const wxString text = ProgressText(wxString::FromUTF8(job.BackupTitle), progress_.filesAdded,
                                     progress_.bytesRead);
  const int iconIndex = animationFrame_ == 0 || animationFrame_ >= 4 ? 0 : animationFrame_;
  animationFrame_ = static_cast<uint16_t>(iconIndex + 1);
  view.ShowRunIcon(iconIndex, text);
  if (view.HasMainWindow()) view.ShowProgress();
}

// The tray returns to idle; the main window, once one exists, reports the end
// of the run, after which the progress values are cleared so that the end is
// reported only once.
void BackupOrchestrator::ShowFinished(ProgressView& view, BackupJob* job) {
  if (animationFrame_ != 0) {
    view.ShowIdleIcon(_("Arkivault"));
    animationFrame_ = 0;
  }
  if (!view.HasMainWindow()) return;
  view.ShowCompletion(job, runner_.Succeeded());
  progress_.Reset();
}
