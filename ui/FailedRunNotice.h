// Sends a desktop notification when a run that was not started from the open
// window fails (a scheduled or made-up run), naming the job and why, once per
// run. The tray tooltip and the main window's status bar say it too, so a
// desktop without a notification service still shows it.
#pragma once

#include <functional>

#include "ui/RunPresenter.h"

class FailedRunNotice : public RunDisplay {
 public:
  // `startedFromWindow` tells whether the run that just ended was started
  // from the main window.
  explicit FailedRunNotice(std::function<bool()> startedFromWindow);

  void ShowProgress(const RunPresenter&) override {}
  // Never reports the end: the window still shows it.
  bool ShowCompletion(const RunPresenter& run) override;

 private:
  std::function<bool()> startedFromWindow_;
  // The finished run already announced, so a later tick does not repeat it.
  unsigned announcedRun_ = 0;
};
