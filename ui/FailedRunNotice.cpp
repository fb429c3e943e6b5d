#include "ui/FailedRunNotice.h"

#include <wx/defs.h>

#include "ui/UserPrompts.h"

FailedRunNotice::FailedRunNotice(std::function<bool()> startedFromWindow)
    : startedFromWindow_(std::move(startedFromWindow)) {}

bool FailedRunNotice::ShowCompletion(const RunPresenter& run) {
  if (run.RunNumber() == announcedRun_) return false;
  announcedRun_ = run.RunNumber();
  if (!run.LastRunSucceeded() && !startedFromWindow_()) {
    NotifyUser(run.CompletionText(), wxICON_ERROR);
  }
  return false;
}
