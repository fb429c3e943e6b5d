#include "tests/scheduler/SchedulerTestSupport.h"

#include "jobs/BackupJob.h"

namespace scheduler_test {

wxDateTime Moment(int day, const char* clockTime) {
  wxDateTime moment(8, wxDateTime::Jan, 2024);
  moment.ParseTime(clockTime);
  return moment.Add(wxDateSpan::Days(day));
}

SimulatedClock::SimulatedClock(const wxDateTime& now) : clock_(now.GetTicks()) {
  platform::Clock::Install(&clock_);
}

SimulatedClock::~SimulatedClock() { platform::Clock::Install(nullptr); }

void SimulatedClock::Set(const wxDateTime& now) { clock_.Set(now.GetTicks()); }

bool RecordingStarter::Start(BackupJob* job, bool full) {
  if (busy) return false;
  busy = true;
  started.push_back(job->BackupTitle + (full ? " full" : " incremental"));
  return true;
}

}  // namespace scheduler_test
