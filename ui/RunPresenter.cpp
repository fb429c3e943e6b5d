#include "ui/RunPresenter.h"

#include <wx/intl.h>

#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/PathUtil.h"
#include "engine/RunResult.h"
#include "jobs/BackupJob.h"
#include "platform/Clock.h"

namespace {

unsigned long long Kilobytes(uint64_t bytes) { return bytes / 1024; }

}  // namespace

RunPresenter::RunPresenter(const JobList& jobs, BackupRunner& runner, BackupProgress& progress)
    : jobs_(jobs), runner_(runner), progress_(progress) {}

void RunPresenter::StartJob(int index, bool full) {
  if (runner_.IsBusy()) return;
  if (index < 0 || static_cast<size_t>(index) >= jobs_.size()) return;
  if (runner_.Start(jobs_[index].get(), full)) RunStarted();
}

void RunPresenter::RunStarted() {
  noted_ = nullptr;
  ++runNumber_;
}

bool RunPresenter::IsRunning() const { return runner_.IsBusy(); }

int RunPresenter::RunningJobIndex() const {
  const BackupJob* running = runner_.RunningJob();
  if (running == nullptr) return -1;
  for (size_t i = 0; i < jobs_.size(); ++i) {
    if (jobs_[i].get() == running) return static_cast<int>(i);
  }
  return -1;
}

void RunPresenter::AbortRun() { runner_.Stop(); }

void RunPresenter::ForgetJob(const BackupJob* job) {
  if (progress_.finishedJob.load() == job) progress_.Reset();
  if (running_ == job) running_ = nullptr;
  if (noted_ == job) noted_ = nullptr;
}

void RunPresenter::OnTimer(std::initializer_list<RunDisplay*> displays) {
  running_ = runner_.RunningJob();
  if (running_ != nullptr) noted_ = nullptr;
  const BackupJob* finished = progress_.finishedJob.load();
  if (running_ == nullptr && finished != nullptr && finished != noted_) {
    noted_ = finished;
    NoteLastRun(wxString::FromUTF8(finished->BackupTitle), LastRunSucceeded(),
                platform::Clock::Current()->Now());
  }
  if (running_ != nullptr) {
    ShowRunning(displays);
  } else {
    ShowFinished(displays);
  }
}

void RunPresenter::ShowRunning(std::initializer_list<RunDisplay*> displays) {
  frame_ = frame_ % kFrames + 1;
  for (RunDisplay* display : displays) {
    if (display != nullptr) display->ShowProgress(*this);
  }
}

// The frames stop once, whether or not the run's end can be reported now;
// the end waits for a display that reports it.
void RunPresenter::ShowFinished(std::initializer_list<RunDisplay*> displays) {
  if (frame_ != 0) {
    frame_ = 0;
    for (RunDisplay* display : displays) {
      if (display != nullptr) display->ShowIdle(*this);
    }
  }
  if (progress_.finishedJob.load() == nullptr) return;
  bool reported = false;
  for (RunDisplay* display : displays) {
    if (display != nullptr && display->ShowCompletion(*this)) reported = true;
  }
  if (reported) progress_.Reset();
}

wxString RunPresenter::TrayTooltip(size_t limit) const {
  if (running_ == nullptr) {
    if (lastEnd_ == 0) return _("Arkivault");
    const wxString line = wxString::Format(
        lastSucceeded_ ? _("Last run: '%s' completed, %s") : _("Last run: '%s' failed, %s"),
        lastTitle_, wxDateTime(static_cast<time_t>(lastEnd_)).Format("%a %H:%M"));
    const wxString idle = _("Arkivault") + "\n" + line;
    return idle.length() <= limit ? idle : idle.Left(limit - 3) + "...";
  }
  const auto tooltip = [this](const wxString& title) {
    return wxString::Format(_("Processing '%s'.\n%lu files.\n%llu kB."), title,
                            static_cast<unsigned long>(progress_.filesAdded.load()),
                            Kilobytes(progress_.bytesRead.load()));
  };
  const wxString title = RunningTitle();
  const wxString full = tooltip(title);
  if (full.length() <= limit) return full;
  static const wxString ellipsis = "...";
  const size_t excess = full.length() - limit + ellipsis.length();
  if (excess >= title.length()) return full;
  return tooltip(title.Left(title.length() - excess) + ellipsis);
}

wxString RunPresenter::ProgressTitle() const {
  return wxString::Format(_("Processing '%s'..."), RunningTitle());
}

wxString RunPresenter::CountsText() const {
  return wxString::Format(_("%lu files added, %llu kB read"),
                          static_cast<unsigned long>(progress_.filesAdded.load()),
                          Kilobytes(progress_.bytesRead.load()));
}

wxString RunPresenter::CompletionText() const {
  const BackupJob* job = FinishedJob();
  if (job == nullptr) return wxString();
  const wxString title = wxString::FromUTF8(job->BackupTitle);
  const bool succeeded = LastRunSucceeded();
  wxString text = wxString::Format(
      succeeded ? _("Backup '%s' completed.") : _("Backup '%s' failed."), title);
  const RunResult& result = runner_.Result();
  if (!succeeded && result.cancelled) {
    text += " " + wxString(_("Cancelled."));
  } else if (!succeeded && !result.FailureText().empty()) {
    text += " " + wxString::Format(_("Reason: %s"), FileSystemText(result.FailureText()));
  }
  if (result.skippedCount > 0 && !result.skippedFiles.empty()) {
    text += " " + wxString::Format(wxPLURAL("%u file could not be read: '%s'.",
                                            "%u files could not be read, the first: '%s'.",
                                            result.skippedCount),
                                   result.skippedCount, FileSystemText(result.skippedFiles[0]));
  }
  if (result.unreadFolders.count > 0) {
    text += " " + wxString::Format(wxPLURAL("%u folder could not be read: %s.",
                                            "%u folders could not be read, the first: %s.",
                                            result.unreadFolders.count),
                                   result.unreadFolders.count,
                                   FileSystemText(result.unreadFolders.paths[0]));
  }
  if (result.changedFiles.count > 0) {
    text += " " + wxString::Format(_("changed while being stored: %s."),
                                   FileSystemText(result.changedFiles.paths[0]));
  }
  return text;
}

wxString RunPresenter::FinishedAtText() const {
  if (lastEnd_ == 0) return wxString();
  return wxString::Format(_("(at %s)"),
                          wxDateTime(static_cast<time_t>(lastEnd_)).Format("%H:%M"));
}

void RunPresenter::NoteLastRun(const wxString& title, bool succeeded, int64_t end) {
  lastTitle_ = title;
  lastSucceeded_ = succeeded;
  lastEnd_ = end;
}

bool RunPresenter::LastRunSucceeded() const { return runner_.Succeeded(); }

const BackupJob* RunPresenter::FinishedJob() const { return progress_.finishedJob.load(); }

wxString RunPresenter::RunningTitle() const {
  return running_ != nullptr ? wxString::FromUTF8(running_->BackupTitle) : wxString();
}
