#include "platform/Clock.h"

#include <ctime>

namespace platform {
namespace {

class SystemClock : public Clock {
 public:
  int64_t Now() override { return static_cast<int64_t>(std::time(nullptr)); }
};

SystemClock systemClock;
std::atomic<Clock*> installedClock{nullptr};

}  // namespace

Clock* Clock::Current() {
  Clock* clock = installedClock.load();
  return clock != nullptr ? clock : &systemClock;
}

void Clock::Install(Clock* clock) { installedClock.store(clock); }

}  // namespace platform
