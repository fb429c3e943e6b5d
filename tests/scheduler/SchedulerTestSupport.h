// Helpers of the scheduler tests: a simulated clock, moments of one January
// week in local time, and a runner double that records what it is asked to start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <wx/datetime.h>

#include "platform/Clock.h"
#include "scheduler/JobStarter.h"

namespace scheduler_test {

// Local time on Monday 8 January 2024 plus `day` days, at "HH:MM:SS".
wxDateTime Moment(int day, const char* clockTime);

// Installs a ManualClock for the lifetime of the object.
class SimulatedClock {
 public:
  explicit SimulatedClock(const wxDateTime& now);
  ~SimulatedClock();
  void Set(const wxDateTime& now);

 private:
  platform::ManualClock clock_;
};

// Stands in for the backup runner: busy when told so, and busy from the
// moment it accepts a start until told otherwise.
class RecordingStarter : public JobStarter {
 public:
  bool IsBusy() const override { return busy; }
  bool Start(BackupJob* job, bool full) override;

  bool busy = false;
  // "<title> full" or "<title> incremental", one per accepted start.
  std::vector<std::string> started;
};

}  // namespace scheduler_test
