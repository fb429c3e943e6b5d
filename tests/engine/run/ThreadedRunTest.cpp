// Threaded runs: progress values, the runner's busy state, cancellation in the
// middle of a file and between entries, the worker's priority, and the refresh
// tick that starts listed jobs and shows their progress, driven with a
// recording view in place of the tray icon and the main window.
#include <wx/log.h>
#include <wx/thread.h>

#include "engine/BackupOrchestrator.h"
#include "engine/ProgressView.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::EntryNames;
using run_test::GateEnv;
using run_test::HasArchiveBit;
using run_test::MakeJob;
using testing_support::PathExists;
using testing_support::WriteFile;

namespace {

class RecordingView : public ProgressView {
 public:
  void ShowRunIcon(int iconIndex, const wxString& tooltip) override {
    calls.push_back("run " + std::to_string(iconIndex) + " " + tooltip.utf8_string());
  }
  void ShowIdleIcon(const wxString& tooltip) override {
    calls.push_back("idle " + tooltip.utf8_string());
  }
  bool HasMainWindow() const override { return mainWindow; }
  void ShowProgress() override { calls.push_back("progress"); }
  void ShowCompletion(BackupJob* job, bool succeeded) override {
    calls.push_back("completion " + job->BackupTitle + (succeeded ? " ok" : " failed"));
  }

  // The calls recorded since the last Take.
  std::vector<std::string> Take() { return std::exchange(calls, {}); }

  bool mainWindow = false;
  std::vector<std::string> calls;
};

// Two listed jobs "First" and "Second" over the sandbox's source; the
// sandbox's own job "Docs" has no row.
class ThreadedRunTest : public run_test::RunSandbox {
 protected:
  ThreadedRunTest() {
    for (const char* title : {"First", "Second"}) {
      jobs.push_back(std::make_unique<BackupJob>(MakeJob(source, target)));
      jobs.back()->BackupTitle = title;
    }
  }

  JobList jobs;
  BackupOrchestrator orchestrator{jobs, runner, progress};
  RecordingView view;
};

// Stopped in the middle of big.bin, or while the first stored file (a.txt) is
// being stamped: the archive stays valid and holds what was stored before,
// nothing after the stop is touched. The job has no row: no running index,
// but the tick still shows its progress. The worker runs at the job's priority.
TEST(StopTest, StopKeepsTheArchiveValidAndTouchesNothingAfterwards) {
  const struct {
    const char* label;
    GateEnv::Point point;
    const char* pathPart;
    const char* tooltip;
    std::set<std::string> stored;
    JobPriority priority;
    unsigned int threadPriority;
  } cases[] = {
      {"during a large file", GateEnv::Point::SecondRead, "big.bin",
       "Processing 'Docs'.\n2 files.\n64 kB.", {"a.txt", "d/"}, JobPriority::Min, 0},
      {"between entries", GateEnv::Point::MarkArchived, "/A/",
       "Processing 'Docs'.\n1 files.\n0 kB.", {"a.txt"}, JobPriority::Max, 100},
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
    JobList noRows;
    BackupOrchestrator orchestrator(noRows, t.runner, t.progress);
    RecordingView view;
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
    EXPECT_EQ(-1, orchestrator.RunningJobIndex());
    orchestrator.OnTimer(view);
    EXPECT_EQ(std::vector<std::string>{"run 0 " + std::string(c.tooltip)}, view.Take());
    EXPECT_TRUE(t.runner.Stop());
    EXPECT_FALSE(t.runner.IsBusy());
    EXPECT_FALSE(t.runner.Succeeded());
    EXPECT_EQ(&t.job, t.progress.finishedJob.load());
    EXPECT_ZIP_VALID(t.target + "/Docs/A.zip");
    EXPECT_EQ(c.stored, EntryNames(t.target + "/Docs/A.zip"));
    EXPECT_FALSE(HasArchiveBit(t.source + "/A/a.txt"));
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/d/big.bin"));
    EXPECT_TRUE(HasArchiveBit(t.source + "/A/d/e/c.txt"));
    EXPECT_FALSE(PathExists(t.target + "/Docs/B.zip"));
  }
}

// One listed job from its start to the report of its end, then a failed one.
TEST_F(ThreadedRunTest, TicksFollowARunFromStartToCompletion) {
  WriteFile(source + "/a.txt", std::string(1000, 'a'));
  WriteFile(source + "/d/b.bin", run_test::RandomBytes(200000, 5));
  WriteFile(source + "/d/empty.txt", "");
  GateEnv env;
  run_test::ScopedEnv installed(&env);
  unsigned int threadPriority = 1000;
  env.SetGate(GateEnv::Point::SecondRead, "b.bin", true,
              [&] { threadPriority = wxThread::This()->GetPriority(); });

  EXPECT_TRUE(runner.Stop());  // idle: nothing to stop
  orchestrator.StartJob(2, true);
  orchestrator.StartJob(-1, true);
  EXPECT_EQ(nullptr, runner.Job());
  orchestrator.OnTimer(view);
  EXPECT_TRUE(view.Take().empty());
  EXPECT_EQ(-1, orchestrator.RunningJobIndex());

  // Values left from an earlier run are cleared when the run starts.
  progress.finishedJob = &job;
  progress.filesAdded = 9;
  orchestrator.StartJob(1, true);
  EXPECT_TRUE(runner.IsBusy());
  env.WaitUntilReached();
  EXPECT_EQ(1, orchestrator.RunningJobIndex());
  EXPECT_EQ(50u, threadPriority);  // the job's default priority
  EXPECT_EQ(jobs[1].get(), runner.RunningJob());
  EXPECT_EQ(nullptr, progress.finishedJob.load());
  // Nothing else starts while busy.
  orchestrator.StartJob(0, false);
  EXPECT_FALSE(runner.Start(&job, false));
  EXPECT_FALSE(runner.RunNow(&job, false));
  EXPECT_EQ(jobs[1].get(), runner.Job());
  EXPECT_TRUE(runner.FullBackup());

  // a.txt and d/ added; 1000 bytes and one 64 KiB chunk read.
  const std::string tooltip = "Processing 'Second'.\n2 files.\n64 kB.";
  for (int tick = 0; tick < 6; ++tick) orchestrator.OnTimer(view);
  EXPECT_EQ((std::vector<std::string>{"run 0 " + tooltip, "run 1 " + tooltip,
                                      "run 2 " + tooltip, "run 3 " + tooltip,
                                      "run 0 " + tooltip, "run 1 " + tooltip}),
            view.Take());
  EXPECT_EQ(2, orchestrator.AnimationFrame());
  view.mainWindow = true;
  orchestrator.OnTimer(view);
  EXPECT_EQ((std::vector<std::string>{"run 2 " + tooltip, "progress"}), view.Take());

  env.Release();
  WaitForEnd();
  EXPECT_EQ(-1, orchestrator.RunningJobIndex());
  EXPECT_EQ(nullptr, runner.RunningJob());
  EXPECT_TRUE(runner.Stop());
  EXPECT_TRUE(runner.Succeeded());
  EXPECT_EQ(4u, progress.filesAdded.load());  // three files and d/
  EXPECT_EQ(201000u, progress.bytesRead.load());
  EXPECT_EQ(jobs[1].get(), progress.finishedJob.load());
  EXPECT_ZIP_VALID(target + "/Docs.zip");

  // Without a main window only the tray returns to idle; the end stays
  // unreported until a window exists, and is then reported once.
  view.mainWindow = false;
  orchestrator.OnTimer(view);
  orchestrator.OnTimer(view);
  EXPECT_EQ(std::vector<std::string>{"idle Arkivault"}, view.Take());
  EXPECT_EQ(0, orchestrator.AnimationFrame());
  EXPECT_EQ(jobs[1].get(), progress.finishedJob.load());
  view.mainWindow = true;
  orchestrator.OnTimer(view);
  orchestrator.OnTimer(view);
  EXPECT_EQ(std::vector<std::string>{"completion Second ok"}, view.Take());
  EXPECT_EQ(nullptr, progress.finishedJob.load());
  EXPECT_EQ(0u, progress.filesAdded.load());
  EXPECT_EQ(0u, progress.bytesRead.load());

  jobs[0]->TargetPath = tmp / "missing";
  orchestrator.StartJob(0, true);
  WaitForEnd();
  orchestrator.OnTimer(view);
  EXPECT_EQ(std::vector<std::string>{"completion First failed"}, view.Take());
}

TEST(ProgressTextTest, ShowsKilobytesRoundedDown) {
  const struct {
    uint64_t bytes;
    const char* kilobytes;
  } cases[] = {{0, "0"}, {1023, "0"}, {1024, "1"}, {2047, "1"},
               {uint64_t{5} << 40, "5368709120"}};
  for (const auto& c : cases) {
    EXPECT_EQ(std::string("Processing 'Job'.\n4294967295 files.\n") + c.kilobytes + " kB.",
              BackupOrchestrator::ProgressText("Job", 4294967295u, c.bytes).utf8_string())
        << c.bytes;
  }
}

}  // namespace
