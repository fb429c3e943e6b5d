// Threaded runs: progress values, the runner's busy state, cancellation in the
// middle of a file and between entries, the worker's priority.
#include <atomic>
#include <cerrno>

#include <wx/log.h>
#include <wx/thread.h>

#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryNames;
using run_test::GateEnv;
using run_test::HasArchiveBit;
using run_test::MakeJob;
using testing_support::PathExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// Stopped in the middle of big.bin, or between entries (as the walk lists d,
// after the space estimate has listed d and d/e):
// the archive is committed with what was stored before; the stop also ends
// the read-back check, so no file is stamped and the next run takes them all
// again; nothing after the stop is touched. The worker runs at the job's
// priority.
TEST(StopTest, StopKeepsTheArchiveValidAndTouchesNothingAfterwards) {
  const struct {
    const char* label;
    GateEnv::Point point;
    const char* pathPart;
    std::set<std::string> stored;
    JobPriority priority;
    unsigned int threadPriority;
    int arrival;
  } cases[] = {
      {"during a large file", GateEnv::Point::SecondRead, "big.bin",
       {"a.txt", "d/"}, JobPriority::Min, 0, 1},
      {"between entries", GateEnv::Point::ListDirectory, "/A/d",
       {"a.txt", "d/"}, JobPriority::Max, 100, 3},
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
                [&] { threadPriority = wxThread::This()->GetPriority(); }, c.arrival);

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
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/a.txt"));
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/d/big.bin"));
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/d/e/c.txt"));
    EXPECT_FALSE(PathExists(t.target + "/Docs/B.zip"));
  }
}

// A full run that does not complete (Stop, a stop request as a termination
// signal makes, a full disk) never replaces or retires a complete archive:
// that one stays byte for byte under its name and the staged one is dropped
// with its files unstamped. Where there was none, what was written is kept,
// its files unstamped too: the read-back check never ran to its end.
// Either way the next incremental run leaves every file held and stamped.
TEST(IncompleteRunTest, PreviousArchiveStaysAndNothingIsLost) {
  enum class End { Stop, SignalFlag, DiskFull };
  for (End end : {End::Stop, End::SignalFlag, End::DiskFull}) {
    for (bool noOverwrite : {false, true}) {
      for (bool previous : {false, true}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(end)) + (noOverwrite ? " retire" : " replace") +
                     (previous ? " over an archive" : " first archive"));
        run_test::Sandbox t;
        t.job.Archives = {"A"};
        t.job.NoOverwrite = noOverwrite;
        const std::string archive = t.target + "/Docs/A.zip";
        const std::string files[] = {"/A/a.txt", "/A/d/big.bin", "/A/d/e/c.txt"};
        auto writeSources = [&](unsigned seed) {
          WriteFile(t.source + files[0], "a" + std::to_string(seed));
          WriteFile(t.source + files[1], run_test::RandomBytes(150000 + seed, seed));
          WriteFile(t.source + files[2], std::string(seed, 'c'));
        };
        writeSources(1);
        std::string before;
        if (previous) {
          ASSERT_TRUE(t.RunJob(true));
          before = ReadFile(archive);
          writeSources(2);
        }
        {
          GateEnv env;
          run_test::ScopedEnv installed(&env);
          std::atomic<bool> reached{false};
          env.SetGate(GateEnv::Point::SecondRead, "big.bin", end == End::Stop,
                      [&] { reached = true; });
          wxLogNull quiet;
          if (end == End::Stop) {
            ASSERT_TRUE(t.runner.Start(&t.job, true));
            env.WaitUntilReached();
            t.runner.Stop();
          } else {
            if (end == End::DiskFull) env.FailWritesAfter("A.zip.partial", 2000);
            EXPECT_FALSE(t.runner.RunNow(&t.job, true, [&] {
              return end == End::SignalFlag && reached.load();
            }));
          }
          EXPECT_FALSE(t.runner.Succeeded());
        }
        EXPECT_FALSE(PathExists(archive + ".partial"));
        EXPECT_FALSE(PathExists(t.target + "/Docs/A (old 1).zip"));
        if (previous) {
          EXPECT_EQ(before, ReadFile(archive));
        } else if (PathExists(archive)) {
          EXPECT_ZIP_VALID(archive);
        }
        EXPECT_TRUE(HasArchiveBit(t.source + files[0]));
        ASSERT_TRUE(t.RunJob(false));
        std::map<std::string, std::string> held;
        for (const char* name : {"A (old 1).zip", "A.zip"}) {
          const std::string path = t.target + "/Docs/" + name;
          if (!PathExists(path)) continue;
          EXPECT_ZIP_VALID(path);
          for (const auto& [entry, content] : run_test::Entries(path)) held[entry] = content;
        }
        for (const std::string& file : files) {
          EXPECT_EQ(ReadFile(t.source + file), held[file.substr(3)]) << file;
          EXPECT_FALSE(HasArchiveBit(t.source + file)) << file;
        }
      }
    }
  }
}

}  // namespace
