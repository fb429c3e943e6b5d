#include "platform/ReadTicker.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace platform {
namespace {

// A real-time signal nothing else in the program uses.
int TickSignal() { return SIGRTMIN + 3; }

void OnTick(int) {}

void InstallTickHandler() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnTick;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the interrupted read returns
  ::sigaction(TickSignal(), &action, nullptr);
}

// One timer per thread that reads, made on its first read and deleted when the
// thread ends.
class ThreadTimer {
 public:
  ThreadTimer() {
    static std::once_flag installed;
    std::call_once(installed, InstallTickHandler);
    struct sigevent event;
    std::memset(&event, 0, sizeof event);
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = TickSignal();
    event._sigev_un._tid = ::gettid();
    made_ = ::timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
  }
  ~ThreadTimer() {
    if (made_) ::timer_delete(timer_);
  }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;

  timer_t* Get() { return made_ ? &timer_ : nullptr; }

 private:
  timer_t timer_{};
  bool made_ = false;
};

void SetTimer(timer_t* timer, long milliseconds) {
  struct itimerspec period;
  std::memset(&period, 0, sizeof period);
  period.it_value.tv_sec = milliseconds / 1000;
  period.it_value.tv_nsec = (milliseconds % 1000) * 1000000;
  period.it_interval = period.it_value;
  ::timer_settime(*timer, 0, &period, nullptr);
}

}  // namespace

ReadTicker::ReadTicker() {
  thread_local ThreadTimer timer;
  timer_ = timer.Get();
  if (timer_ != nullptr) SetTimer(timer_, kTickMilliseconds);
}

ReadTicker::~ReadTicker() {
  if (timer_ != nullptr) SetTimer(timer_, 0);
}

}  // namespace platform
