// Where the program takes "now" from. Code that depends on the time of day asks a
// Clock, so tests can set and advance time instead of waiting for the wall clock.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since the epoch.
  virtual int64_t Now() = 0;

  // The clock the program uses: the system clock unless a test installed another.
  static Clock* Current();

  // Makes `clock` the current clock (nullptr restores the system clock). The
  // caller keeps ownership and must keep it alive while it is installed.
  static void Install(Clock* clock);
};

// A clock that stands still until it is told to move. Safe to read from any thread.
class ManualClock : public Clock {
 public:
  explicit ManualClock(int64_t now) : now_(now) {}
  int64_t Now() override { return now_.load(); }
  void Set(int64_t now) { now_.store(now); }
  void Advance(int64_t seconds) { now_.fetch_add(seconds); }

 private:
  std::atomic<int64_t> now_;
};

}  // namespace platform
