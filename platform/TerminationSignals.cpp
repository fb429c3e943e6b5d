#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Shared with the handler, which may only touch lock-free atomics.
std::atomic<int> receivedSignal{0};
std::atomic<int> notifyWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

struct sigaction previousActions[kSignalCount];

void OnTerminationSignal(int number) {
  const int savedErrno = errno;
  int none = 0;
  receivedSignal.compare_exchange_strong(none, number);
  const int fd = notifyWriteEnd.load();
  // The pipe is non-blocking: once it holds a byte, further writes may fail
  // harmlessly.
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  receivedSignal = 0;
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) == 0) notifyWriteEnd = pipe_[1];
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &action, &previousActions[i]);
}

TerminationSignals::~TerminationSignals() {
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &previousActions[i], nullptr);
  notifyWriteEnd = -1;
  for (int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
  receivedSignal = 0;
}

bool TerminationSignals::Requested() const { return receivedSignal.load() != 0; }

bool TerminationSignals::Pending() { return receivedSignal.load() != 0; }

int TerminationSignals::SignalNumber() const { return receivedSignal.load(); }

bool TerminationSignals::Wait(int timeoutMilliseconds) const {
  if (Requested()) return true;
  if (pipe_[0] < 0) return false;
  struct pollfd watched = {pipe_[0], POLLIN, 0};
  while (::poll(&watched, 1, timeoutMilliseconds) < 0 && errno == EINTR) {
    if (Requested()) return true;
  }
  return Requested();
}

int TerminationSignals::NotifyDescriptor() const { return pipe_[0]; }

std::string SignalText(int number) {
  const char* text = ::strsignal(number);
  return text != nullptr ? text : "signal " + std::to_string(number);
}

}  // namespace platform
