// Runs that do not complete: cancellation of the worker in the middle of a
// file and between entries, a stop request, a full disk; the worker's priority.
#include <atomic>

#include <wx/log.h>
#include <wx/thread.h>

#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryNames;
using run_test::GateEnv;
using run_test::HasArchiveBit;
using testing_support::PathExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// A full run that does not complete (Stop in the middle of big.bin or between
// entries, as the walk lists d after the space estimate has listed d and d/e;
// a stop request as a termination signal makes; a full disk) begins no later
// archive and never replaces or retires a complete archive: that one stays
// byte for byte under its name and the staged one is dropped with its files
// unstamped. Where there was none, what was stored before the stop is
// committed, its files unstamped too: the read-back check never ran to its
// end. Either way the next incremental run leaves every file held and
// stamped. The worker runs at the job's priority.
TEST(IncompleteRunTest, PreviousArchiveStaysAndNothingIsLost) {
  enum class End { Stop, StopBetweenEntries, SignalFlag, DiskFull };
  for (End end : {End::Stop, End::StopBetweenEntries, End::SignalFlag, End::DiskFull}) {
    for (bool noOverwrite : {false, true}) {
      for (bool previous : {false, true}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(end)) + (noOverwrite ? " retire" : " replace") +
                     (previous ? " over an archive" : " first archive"));
        run_test::Sandbox t;
        t.job.Archives = {"A", "B"};
        t.job.NoOverwrite = noOverwrite;
        t.job.Priority = end == End::Stop ? JobPriority::Min : JobPriority::Max;
        const std::string archive = t.target + "/Docs/A.zip", next = t.target + "/Docs/B.zip";
        const std::string files[] = {"/A/a.txt", "/A/d/big.bin", "/A/d/e/c.txt"};
        auto writeSources = [&](unsigned seed) {
          WriteFile(t.source + files[0], "a" + std::to_string(seed));
          WriteFile(t.source + files[1], testing_support::NoiseBytes(150000 + seed, seed));
          WriteFile(t.source + files[2], std::string(seed, 'c'));
          WriteFile(t.source + "/B/b.txt", std::to_string(seed));
        };
        writeSources(1);
        std::string before;
        if (previous) {
          ASSERT_TRUE(t.RunJob(true));
          before = ReadFile(archive);
          writeSources(2);
        }
        const std::string nextBefore = ReadFile(next);
        {
          GateEnv env;
          run_test::ScopedEnv installed(&env);
          std::atomic<bool> reached{false};
          unsigned int threadPriority = 1000;
          const bool threaded = end == End::Stop || end == End::StopBetweenEntries;
          const auto onReach = [&] {
            reached = true;
            if (threaded) threadPriority = wxThread::This()->GetPriority();
          };
          if (end == End::StopBetweenEntries) {
            env.SetGate(GateEnv::Point::ListDirectory, "/A/d", true, onReach, 3);
          } else {
            env.SetGate(GateEnv::Point::SecondRead, "big.bin", threaded, onReach);
          }
          wxLogNull quiet;  // a priority the system refuses is logged
          if (threaded) {
            ASSERT_TRUE(t.runner.Start(&t.job, true));
            env.WaitUntilReached();
            t.runner.Stop();
            EXPECT_FALSE(t.runner.IsBusy());
            EXPECT_EQ(end == End::Stop ? 0u : 100u, threadPriority);
            EXPECT_EQ(&t.job, t.progress.finishedJob.load());
          } else {
            if (end == End::DiskFull) env.FailWritesAfter("A.zip.partial", 2000);
            EXPECT_FALSE(t.runner.RunNow(&t.job, true, [&] {
              return end == End::SignalFlag && reached.load();
            }));
          }
          EXPECT_FALSE(t.runner.Succeeded());
          EXPECT_EQ(end != End::DiskFull, t.runner.Result().cancelled);
        }
        EXPECT_TRUE(end == End::DiskFull || nextBefore == ReadFile(next)) << "B.zip was written";
        EXPECT_FALSE(PathExists(archive + ".partial"));
        EXPECT_FALSE(PathExists(t.target + "/Docs/A (old 1).zip"));
        if (previous) {
          EXPECT_EQ(before, ReadFile(archive));
        } else if (end != End::DiskFull || PathExists(archive)) {
          EXPECT_ZIP_VALID(archive);
          if (end != End::DiskFull) {
            EXPECT_EQ((std::set<std::string>{"a.txt", "d/"}), EntryNames(archive));
          }
        }
        for (const std::string& file : files) EXPECT_TRUE(HasArchiveBit(t.source + file)) << file;
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
