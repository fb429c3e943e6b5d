// The run presenter driven by a real runner on the worker thread, with a
// recording display in place of the tray icon and the main window: starting
// listed jobs, the frames and texts of each tick, the one report of each end,
// a deleted job's end never reported.
#include <wx/thread.h>

#include <utility>

#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"
#include "ui/RunPresenter.h"

namespace {

using run_test::GateEnv;
using run_test::MakeJob;
using testing_support::WriteFile;

// Records what each tick shows; reports completions when `reports` is set.
class RecordingDisplay : public RunDisplay {
 public:
  void ShowProgress(const RunPresenter& run) override {
    calls.push_back("run " + std::to_string(run.Frame()) + " " + run.TrayTooltip().utf8_string() +
                    " | " + run.ProgressTitle().utf8_string() + " | " +
                    run.CountsText().utf8_string());
  }
  void ShowIdle(const RunPresenter& run) override {
    calls.push_back("idle " + run.TrayTooltip().utf8_string());
  }
  bool ShowCompletion(const RunPresenter& run) override {
    if (reports) calls.push_back(run.CompletionText().utf8_string() + " | " +
                                 run.CountsText().utf8_string());
    return reports;
  }

  std::vector<std::string> Take() { return std::exchange(calls, {}); }

  bool reports = false;
  std::vector<std::string> calls;
};

// Two listed jobs "First" and "Second" over the sandbox's source; the
// sandbox's own job "Docs" has no row.
class RunPresenterTest : public run_test::RunSandbox {
 protected:
  RunPresenterTest() {
    for (const char* title : {"First", "Second"}) {
      jobs.push_back(std::make_unique<BackupJob>(MakeJob(source, target)));
      jobs.back()->BackupTitle = title;
    }
  }

  // Runs the listed job `row` to its end; what the next tick shows.
  std::vector<std::string> RunToEnd(int row) {
    presenter.StartJob(row, true);
    WaitForEnd();
    presenter.OnTimer({&display});
    return display.Take();
  }

  JobList jobs;
  RunPresenter presenter{jobs, runner, progress};
  RecordingDisplay display;
  GateEnv env;
  run_test::ScopedEnv installed{&env};
};

TEST_F(RunPresenterTest, TicksFollowARunFromStartToCompletion) {
  WriteFile(source + "/a.txt", std::string(1000, 'a'));
  WriteFile(source + "/d/b.bin", testing_support::NoiseBytes(200000, 5));
  WriteFile(source + "/d/empty.txt", "");
  unsigned int threadPriority = 1000;
  env.SetGate(GateEnv::Point::SecondRead, "b.bin", true,
              [&] { threadPriority = wxThread::This()->GetPriority(); });

  presenter.AbortRun();  // idle: nothing to stop
  presenter.StartJob(2, true);
  presenter.StartJob(-1, true);
  EXPECT_EQ(nullptr, runner.Job());
  presenter.OnTimer({&display});
  EXPECT_TRUE(display.Take().empty());

  // Values left from an earlier run are cleared when the run starts.
  progress.finishedJob = &job;
  progress.filesAdded = 9;
  presenter.StartJob(1, true);
  EXPECT_TRUE(presenter.IsRunning());
  env.WaitUntilReached();
  EXPECT_EQ(1, presenter.RunningJobIndex());
  EXPECT_EQ(50u, threadPriority);  // the job's default priority
  EXPECT_EQ(nullptr, progress.finishedJob.load());
  // Nothing else starts while busy.
  presenter.StartJob(0, false);
  EXPECT_FALSE(runner.Start(&job, false));
  EXPECT_FALSE(runner.RunNow(&job, false));
  EXPECT_EQ(jobs[1].get(), runner.Job());
  EXPECT_TRUE(runner.FullBackup());

  // a.txt and d/ added, the folder not counted; 1000 bytes and one 64 KiB
  // chunk read. A missing display is skipped.
  const std::string texts =
      "Processing 'Second'.\n1 files.\n64 kB. | Processing 'Second'... | 1 files added, 64 kB read";
  for (int tick = 0; tick < 6; ++tick) presenter.OnTimer({nullptr, &display});
  EXPECT_EQ((std::vector<std::string>{"run 1 " + texts, "run 2 " + texts, "run 3 " + texts,
                                      "run 4 " + texts, "run 1 " + texts, "run 2 " + texts}),
            display.Take());

  env.Release();
  WaitForEnd();
  EXPECT_EQ(-1, presenter.RunningJobIndex());
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_EQ(201000u, progress.bytesRead.load());
  EXPECT_EQ(jobs[1].get(), presenter.FinishedJob());
  EXPECT_ZIP_VALID(target + "/Docs.zip");

  // Without a display that reports it, the frames stop once and the end waits;
  // then it is reported once.
  presenter.OnTimer({&display});
  presenter.OnTimer({&display});
  const std::vector<std::string> idle = display.Take();
  ASSERT_EQ(1u, idle.size());
  EXPECT_EQ(0u, idle[0].find("idle Arkivault\nLast run: 'Second' completed, ")) << idle[0];
  EXPECT_EQ(0, presenter.Frame());
  display.reports = true;
  presenter.OnTimer({&display});
  presenter.OnTimer({&display});
  EXPECT_EQ(std::vector<std::string>{"Backup 'Second' completed. | 3 files added, 196 kB read"},
            display.Take());
  EXPECT_EQ(nullptr, progress.finishedJob.load());
  EXPECT_EQ(0u, progress.filesAdded.load());

  // A failed run; then a finished run whose job is deleted is never reported.
  jobs[0]->TargetPath = tmp / "missing";
  EXPECT_EQ(std::vector<std::string>{"Backup 'First' failed. Reason: No such file or directory: '" +
                                     tmp / "missing" + "' | 0 files added, 0 kB read"},
            RunToEnd(0));
  // A file that cannot be opened is named, and so is one that fails while it is read.
  env.FailOpen("a.txt", EACCES);
  EXPECT_EQ(std::vector<std::string>{"Backup 'Second' completed. 1 file could not be read: '" +
                                     source + "/a.txt'. | 2 files added, 195 kB read"},
            RunToEnd(1));
  env.Heal();
  env.FailReads("b.bin", EIO);
  EXPECT_EQ(std::vector<std::string>{"Backup 'Second' completed. 1 file could not be read: '" +
                                     source + "/d/b.bin'. | 2 files added, 0 kB read"},
            RunToEnd(1));
  presenter.StartJob(0, true);
  WaitForEnd();
  presenter.ForgetJob(jobs[0].get());
  jobs.erase(jobs.begin());
  presenter.OnTimer({&display});
  EXPECT_TRUE(display.Take().empty());
}

// The job being run has no row: it has no running index, but its ticks still
// name it. Kilobytes are rounded down.
TEST_F(RunPresenterTest, JobWithoutRowAndRoundedKilobytes) {
  WriteFile(source + "/big.bin", testing_support::NoiseBytes(1 << 20, 7));
  env.SetGate(GateEnv::Point::SecondRead, "big.bin", true);
  ASSERT_TRUE(runner.Start(&job, true));
  env.WaitUntilReached();
  EXPECT_EQ(-1, presenter.RunningJobIndex());
  const struct { uint64_t bytes; const char* kilobytes; } cases[] = {
      {1023, "0"}, {1024, "1"}, {2047, "1"}, {uint64_t{5} << 40, "5368709120"}};
  for (const auto& c : cases) {
    progress.filesAdded = 4294967295u;
    progress.bytesRead = c.bytes;
    presenter.OnTimer({});
    EXPECT_EQ(std::string("Processing 'Docs'.\n4294967295 files.\n") + c.kilobytes + " kB.",
              presenter.TrayTooltip().utf8_string());
  }
  // A title too long for the tray's 63 characters is shortened, never the counters.
  job.BackupTitle = std::string(100, 'x');
  EXPECT_EQ("Processing '" + std::string(13, 'x') + "...'.\n4294967295 files.\n5368709120 kB.",
            presenter.TrayTooltip(63).utf8_string());
  presenter.AbortRun();
  EXPECT_FALSE(runner.Succeeded());
}

}  // namespace
