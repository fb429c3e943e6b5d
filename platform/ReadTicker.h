// Wakes the calling thread at a steady tick while it waits in a read(2), so a
// read that blocks (a hung network or FUSE file, a pipe) can be given up.
//
// While an object lives, a per-thread timer sends the thread a signal every
// kTickMilliseconds. The signal's handler does nothing and is installed
// without SA_RESTART, so a blocked read returns EINTR (or the bytes it already
// has) and the caller decides whether to wait on: it gives up when the process
// is asked to end or when the read has waited too long. A read that does not
// block never sees a tick. The ticks stop before the object is gone, so they
// never interrupt another call of the thread.
#pragma once

#include <ctime>

namespace platform {

class ReadTicker {
 public:
  static constexpr int kTickMilliseconds = 250;

  ReadTicker();
  ~ReadTicker();
  ReadTicker(const ReadTicker&) = delete;
  ReadTicker& operator=(const ReadTicker&) = delete;

 private:
  timer_t* timer_ = nullptr;  // the thread's timer; null when none could be made
};

}  // namespace platform
