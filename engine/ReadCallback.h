// The progress callback of a restore or a verify pass, in the style of a
// backup run's: counts into the progress values, and tells the reading loop
// to stop once a stop has been asked for (a window's cancel, a signal).
#pragma once

#include <cstdint>
#include <functional>

#include "engine/ReadProgress.h"

class ReadCallback {
 public:
  // `stopRequested` may be empty; `progress` is not owned.
  ReadCallback(ReadProgress& progress, std::function<bool()> stopRequested)
      : progress_(progress), stopRequested_(std::move(stopRequested)) {}

  // After each piece of content: false when the work must stop.
  bool OnBytes(uint64_t count) {
    if (StopRequested()) return false;
    progress_.bytesRead += count;
    return true;
  }
  void SetTotal(uint64_t entries) { progress_.entriesTotal = entries; }
  void EndEntry() { progress_.entriesDone += 1; }
  bool StopRequested() const { return stopRequested_ && stopRequested_(); }

 private:
  ReadProgress& progress_;
  std::function<bool()> stopRequested_;
};
