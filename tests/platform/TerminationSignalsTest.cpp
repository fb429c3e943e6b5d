// Termination signals become a request that can be polled, waited for and
// watched on a descriptor; the handlers that were there before come back.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/TerminationSignals.h"

namespace {

void Ignore(int) {}

bool IsReadable(int fd) {
  struct pollfd watched = {fd, POLLIN, 0};
  return ::poll(&watched, 1, 0) == 1;
}

// Each signal, sent to the process as `kill` from a shell would while Wait
// waits, becomes the request; a second one does not replace it.
TEST(TerminationSignalsTest, EachSignalBecomesARequest) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(number);
    ASSERT_NE(SIG_ERR, ::signal(number, Ignore));
    {
      platform::TerminationSignals signals;
      EXPECT_FALSE(signals.Wait(5));
      EXPECT_FALSE(IsReadable(signals.NotifyDescriptor()));
      const pid_t self = ::getpid();
      std::thread sender([self, number] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(self, number);
      });
      EXPECT_TRUE(signals.Wait(60000)) << "no signal noticed within a minute";
      sender.join();
      ASSERT_EQ(0, ::raise(SIGTERM));
      EXPECT_TRUE(signals.Requested());
      EXPECT_EQ(number, signals.SignalNumber());
      EXPECT_TRUE(signals.Wait(0));
      EXPECT_TRUE(IsReadable(signals.NotifyDescriptor()));
    }
    EXPECT_EQ(&Ignore, ::signal(number, SIG_DFL)) << "the earlier handler is back";

  }
  ::signal(SIGTERM, SIG_DFL);
  EXPECT_EQ("Terminated", platform::SignalText(SIGTERM));
}

}  // namespace
