// Threaded runs: progress values, the runner's busy state, cancellation in the
// middle of a file and between entries, the worker's priority.
#include <wx/log.h>
#include <wx/thread.h>

#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryNames;
using run_test::GateEnv;
using run_test::HasArchiveBit;
using run_test::MakeJob;
using testing_support::PathExists;
using testing_support::WriteFile;

namespace {

// Stopped in the middle of big.bin, or between entries (as the walk lists d):
// the archive is committed with what was stored before, whose files alone are
// stamped; nothing after the stop is touched. The worker runs at the job's
// priority.
TEST(StopTest, StopKeepsTheArchiveValidAndTouchesNothingAfterwards) {
  const struct {
    const char* label;
    GateEnv::Point point;
    const char* pathPart;
    std::set<std::string> stored;
    JobPriority priority;
    unsigned int threadPriority;
  } cases[] = {
      {"during a large file", GateEnv::Point::SecondRead, "big.bin",
       {"a.txt", "d/"}, JobPriority::Min, 0},
      {"between entries", GateEnv::Point::ListDirectory, "/A/d",
       {"a.txt", "d/"}, JobPriority::Max, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    run_test::Sandbox t;
    WriteFile(t.source + "/A/a.txt", "a");
    WriteFile(t.source + "/A/d/big.bin", run_test::RandomBytes(1 << 20, 7));
    WriteFile(t.source + "/A/d/e/c.txt", "c");
    WriteFile(t.source + "/B/b.txt", "b");
    t.job.Archives = {"A", "B"};
    t.job.Priority = c.priority;
    GateEnv env;
    run_test::ScopedEnv installed(&env);
    unsigned int threadPriority = 1000;
    env.SetGate(c.point, c.pathPart, true,
                [&] { threadPriority = wxThread::This()->GetPriority(); });

    {
      wxLogNull quiet;  // a priority the system refuses is logged
      ASSERT_TRUE(t.runner.Start(&t.job, true));
    }
    env.WaitUntilReached();
    EXPECT_EQ(c.threadPriority, threadPriority);
    EXPECT_TRUE(t.runner.Stop());
    EXPECT_FALSE(t.runner.IsBusy());
    EXPECT_FALSE(t.runner.Succeeded());
    EXPECT_TRUE(t.runner.Result().cancelled);
    EXPECT_EQ(&t.job, t.progress.finishedJob.load());
    EXPECT_ZIP_VALID(t.target + "/Docs/A.zip");
    EXPECT_EQ(c.stored, EntryNames(t.target + "/Docs/A.zip"));
    EXPECT_FALSE(HasArchiveBit(t.source + "/A/a.txt"));
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/d/big.bin"));
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/d/e/c.txt"));
    EXPECT_FALSE(PathExists(t.target + "/Docs/B.zip"));
  }
}

}  // namespace
