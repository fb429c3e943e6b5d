// The refresh tick, starting listed jobs and the running row, driven with a
// recording view in place of the tray icon and the main window.
#include <gtest/gtest.h>
#include <wx/utils.h>

#include "engine/BackupOrchestrator.h"
#include "engine/BackupProgress.h"
#include "engine/BackupRunner.h"
#include "engine/ProgressView.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/engine/run/RunTestSupport.h"

using run_test::GateEnv;
using run_test::MakeJob;
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

class OrchestratorTest : public ::testing::Test {
 protected:
  OrchestratorTest() : source(tmp / "src"), target(tmp / "out") {
    WriteFile(target + "/.keep", "");
    WriteFile(source + "/big.bin", run_test::RandomBytes(300000, 9));
    for (const char* title : {"First", "Second"}) {
      jobs.push_back(std::make_unique<BackupJob>(MakeJob(source, target)));
      jobs.back()->BackupTitle = title;
    }
  }

  void WaitForEnd() {
    while (runner.IsBusy()) wxMilliSleep(1);
  }

  testing_support::TempDir tmp;
  std::string source;
  std::string target;
  JobList jobs;
  BackupProgress progress;
  BackupRunner runner{progress};
  BackupOrchestrator orchestrator{jobs, runner, progress};
  RecordingView view;
};

TEST_F(OrchestratorTest, TicksAnimateARunAndReportItsEndOnce) {
  GateEnv env;
  run_test::ScopedEnv installed(&env);
  env.SetGate(GateEnv::Point::SecondRead, "big.bin", true);

  orchestrator.OnTimer(view);
  EXPECT_TRUE(view.Take().empty());
  EXPECT_EQ(-1, orchestrator.RunningJobIndex());

  orchestrator.StartJob(1, true);
  env.WaitUntilReached();
  EXPECT_EQ(1, orchestrator.RunningJobIndex());
  orchestrator.StartJob(0, false);
  EXPECT_EQ(jobs[1].get(), runner.Job());

  // One 64 KiB chunk has been read, no add has ended yet.
  const std::string tooltip = "Processing 'Second'.\n0 files.\n64 kB.";
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
  EXPECT_ZIP_VALID(target + "/Docs.zip");
}

TEST_F(OrchestratorTest, JobWithoutARowHasNoIndexButStillShowsProgress) {
  BackupJob outside = MakeJob(source, target);
  outside.BackupTitle = "Outside";
  GateEnv env;
  run_test::ScopedEnv installed(&env);
  env.SetGate(GateEnv::Point::SecondRead, "big.bin", true);
  ASSERT_TRUE(runner.Start(&outside, true));
  env.WaitUntilReached();
  EXPECT_EQ(-1, orchestrator.RunningJobIndex());
  orchestrator.OnTimer(view);
  EXPECT_EQ(std::vector<std::string>{"run 0 Processing 'Outside'.\n0 files.\n64 kB."},
            view.Take());
  env.Release();
  WaitForEnd();
}

TEST_F(OrchestratorTest, FailedRunIsReportedAsFailed) {
  jobs[0]->TargetPath = tmp / "missing";
  view.mainWindow = true;
  orchestrator.StartJob(0, true);
  WaitForEnd();
  orchestrator.OnTimer(view);
  EXPECT_EQ(std::vector<std::string>{"completion First failed"}, view.Take());
}

TEST_F(OrchestratorTest, StartJobWithoutSuchRowDoesNothing) {
  orchestrator.StartJob(2, true);
  orchestrator.StartJob(-1, true);
  EXPECT_FALSE(runner.IsBusy());
  EXPECT_EQ(nullptr, runner.Job());
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
