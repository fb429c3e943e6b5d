// The interactive program with its tray icon, inside this test process on Xvfb
// with a tray host: the run animation and tooltip, the tray menu, Restore,
// Shutdown with its question, and the end of the session by SIGTERM.
#include <gtest/gtest.h>

#include <wx/menu.h>
#include <wx/regex.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ArkivaultApp.h"
#include "jobs/BackupJob.h"
#include "platform/Clock.h"
#include "tests/app/AppTestSupport.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/support/ExternalZip.h"
#include "ui/CommandTable.h"
#include "ui/MainFrame.h"
#include "ui/UserPrompts.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

// Answers every question with `answer` and counts them.
class Answers : public UserPrompts {
 public:
  explicit Answers(int answer) : answer(answer) { UserPrompts::Install(this); }
  ~Answers() override { UserPrompts::Install(nullptr); }
  int Message(wxWindow*, const wxString&, const wxString&, long) override {
    ++asked;
    return answer;
  }
  wxString ChooseDirectory(wxWindow*, const wxString&, const wxString&) override { return ""; }
  void Notify(const wxString& text, long) override { notices.push_back(text); }

  int answer;
  int asked = 0;
  std::vector<wxString> notices;
};

// The program started with "-n" in a fresh directory whose job "Big" saves
// four files into out/Big.zip; a tray host is on the display. A run is held
// at the second read of big/held/4.bin, after the three files of big/, until
// released or cancelled.
class TrayTest : public testing::Test {
 protected:
  void SetUp() override {
    RunCommand("mkdir -p " + ShellQuote(cwd / "big/held") + " " + ShellQuote(cwd / "out") +
               " " + ShellQuote(cwd / "run") + " && chmod 700 " + ShellQuote(cwd / "run") +
               " && for i in $(seq 3); do head -c 200000 /dev/urandom >" +
               ShellQuote(cwd / "big") + "/$i.bin; done && head -c 200000 /dev/urandom >" +
               ShellQuote(cwd / "big/held/4.bin"));
    testing_support::WriteFile(cwd / "BackupDef/big.xml",
                               app_test::JobDefinition("Big", cwd / "big", cwd / "out"));
    std::filesystem::create_directory_symlink(app_test::BinaryDir() + "/res", cwd / "res");
    std::filesystem::current_path(cwd.path());
    setenv("XDG_RUNTIME_DIR", (cwd / "run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (cwd / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (cwd / "state").c_str(), 1);
    StartOptions options;
    options.noGui = true;
    ASSERT_NE(nullptr, app_test::StartToolkit(new ArkivaultApp(options)));
    ASSERT_TRUE(app_test::WaitFor([] { return wxTaskBarIcon::IsAvailable(); }, true));
    app = &wxGetApp();
    ASSERT_TRUE(app->CallOnInit());
  }

  void TearDown() override {
    if (app != nullptr) app->OnExit();
    wxEntryCleanup();
  }

  // Starts "Big" and waits until it is held at its first file.
  void StartBigRun() {
    gate.SetGate(run_test::GateEnv::Point::SecondRead, "/big/held/", true);
    app->StartJob(0, true);
    ASSERT_TRUE(app->IsRunning());
    gate.WaitUntilReached();
  }

  testing_support::TempDir cwd;
  run_test::GateEnv gate;
  testing_support::ScopedEnv installed{&gate};
  app_test::TrayHost tray;
  ArkivaultApp* app = nullptr;
};

TEST_F(TrayTest, IconFollowsTheRunAndShutdownAsksFirst) {
  ArkivaultTaskBarIcon* icon = app->TaskBarIcon();
  ASSERT_NE(nullptr, icon);
  EXPECT_TRUE(icon->IsIconInstalled());
  EXPECT_EQ("Arkivault", icon->Tooltip());
  EXPECT_EQ(nullptr, app->MainWindow());  // "-n"

  // The menu is built once; Shutdown is greyed while a modal dialog is open,
  // Restore Files without a job selected in the main window.
  wxMenu& menu = icon->Menu();
  EXPECT_EQ(&menu, &icon->Menu());
  ASSERT_EQ(3u, menu.GetMenuItemCount());
  const int shutdown = CommandId(kTrayMenu.back());
  for (const bool modal : {true, false}) {
    app->SetModalDialogOpen(modal);
    menu.UpdateUI();
    EXPECT_EQ(!modal, menu.IsEnabled(shutdown));
    EXPECT_FALSE(menu.IsEnabled(CommandId(kTrayMenu[1])));
  }

  // A run: each tick shows the next of the four run frames with the progress
  // on three lines; after it, the idle icon and "Arkivault" with the last run.
  StartBigRun();
  const wxRegEx progress("^Processing 'Big'\\.\n[0-9]+ files\\.\n[0-9]+ kB\\.$");
  std::vector<int> frames;
  const auto watch = [&] {
    const int frame = app->Presenter().Frame();
    if (frames.empty() || frames.back() != frame) {
      frames.push_back(frame);
      if (frame != 0) {
        EXPECT_TRUE(progress.Matches(icon->Tooltip())) << icon->Tooltip();
      }
    }
    return frames.size() >= 6;
  };
  ASSERT_TRUE(app_test::WaitFor(watch, true)) << "fewer than six frames shown within 10 s";
  gate.Release();
  ASSERT_TRUE(app_test::WaitFor([&] { return !app->IsRunning(); }, true))
      << "the run did not end within 10 s";
  if (frames.front() == 0) frames.erase(frames.begin());
  ASSERT_GE(frames.size(), 4u);
  EXPECT_EQ(1, frames.front());
  for (size_t i = 1; i < frames.size(); ++i) EXPECT_EQ(frames[i - 1] % 4 + 1, frames[i]) << i;
  EXPECT_TRUE(app_test::WaitFor(
      [&] { return icon->Tooltip().StartsWith("Arkivault\nLast run: 'Big' completed, "); }, true))
      << icon->Tooltip();
  EXPECT_FALSE(icon->Warning());
  EXPECT_EQ(0, app->Presenter().Frame());
  EXPECT_ZIP_VALID(cwd / "out/Big.zip");

  // Restore: the window is created, then raised (the same window).
  wxCommandEvent click;
  icon->OnRestore(click);
  MainFrame* window = app->MainWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(window->IsShown());
  icon->OnRestore(click);
  EXPECT_EQ(window, app->MainWindow());

  // "Start at Login" in the window's first menu writes and removes the
  // autostart entry, and its check mark follows.
  wxMenu& file = *window->GetMenuBar()->GetMenu(0);
  const int autostart = wxXmlResource::GetXRCID("ID_AUTOSTART");
  for (const bool on : {true, false}) {
    wxCommandEvent toggle(wxEVT_MENU, autostart);
    toggle.SetInt(on);
    window->ProcessWindowEvent(toggle);
    EXPECT_EQ(on, testing_support::PathExists(cwd / "config/autostart/arkivault.desktop"));
    file.UpdateUI(window);
    EXPECT_EQ(on, file.IsChecked(autostart));
  }

  // Shutdown during a run: No keeps everything; Yes aborts, and the end of
  // the session that follows asks nothing more.
  StartBigRun();
  {
    Answers no(wxNO);
    icon->OnShutdownCommand(click);
    wxYield();
    EXPECT_EQ(1, no.asked);
    EXPECT_TRUE(app->IsRunning());
    EXPECT_NE(nullptr, app->TaskBarIcon());
  }
  Answers yes(wxYES);
  icon->OnShutdownCommand(click);
  EXPECT_FALSE(app->IsRunning());
  ASSERT_TRUE(app_test::WaitFor([&] { return app->TaskBarIcon() == nullptr; }, true));
  EXPECT_EQ(1, yes.asked);
  EXPECT_EQ(nullptr, app->MainWindow());
  EXPECT_ZIP_VALID(cwd / "out/Big.zip");
}

TEST_F(TrayTest, SigtermDuringARunClosesTheArchiveAndEnds) {
  Answers none(wxNO);
  StartBigRun();
  kill(getpid(), SIGTERM);
  ASSERT_TRUE(app_test::WaitFor([&] { return app->TaskBarIcon() == nullptr; }, true))
      << "SIGTERM did not end the session within 10 s";
  EXPECT_FALSE(app->IsRunning());
  EXPECT_EQ(0, none.asked);
  EXPECT_ZIP_VALID(cwd / "out/Big.zip");
}

// SIGTERM while the tray's question is open (a real dialog) cancels it and
// ends the program within a second, the run aborted.
TEST_F(TrayTest, SigtermCancelsAnOpenQuestion) {
  StartBigRun();
  // Sent from the question's own event loop, once it runs.
  wxTheApp->CallAfter([] { kill(getpid(), SIGTERM); });
  wxCommandEvent click;
  app->TaskBarIcon()->OnShutdownCommand(click);
  const auto cancelled = std::chrono::steady_clock::now();
  ASSERT_TRUE(app_test::WaitFor([&] { return app->TaskBarIcon() == nullptr; }, true));
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(1));
  EXPECT_FALSE(app->IsRunning());
  EXPECT_ZIP_VALID(cwd / "out/Big.zip");
}

// A scheduled run that fails while the window is closed turns the tray icon
// to its warning, names the job in the tooltip and in a desktop notification,
// and leaves its record.
TEST_F(TrayTest, AFailedScheduledRunWarnsAndIsRecorded) {
  Answers prompts(wxNO);
  // The program's clock for this test only.
  struct InstalledClock : platform::ManualClock {
    explicit InstalledClock(int64_t now) : ManualClock(now) { Install(this); }
    ~InstalledClock() override { Install(nullptr); }
  } clock(wxDateTime(8, wxDateTime::Jan, 2024, 9, 59).GetTicks());
  BackupJob* job = app->CreateJob();
  job->BackupTitle = "Broken";
  job->SourceRootPath = cwd / "big";
  job->TargetPath = cwd / "missing";
  job->IncludeFilePatterns = {"*"};
  job->IncludeDirPatterns = {"*"};
  job->ScheduleFull.Days = JobSchedule::AllDays;
  job->SetFullTime("10:00");
  app->ScheduleJob(job);
  clock.Advance(70);
  app->Scheduler().OnTick();
  ArkivaultTaskBarIcon* icon = app->TaskBarIcon();
  ASSERT_NE(nullptr, icon);
  ASSERT_TRUE(app_test::WaitFor([&] { return icon->Warning(); }, true));
  EXPECT_TRUE(icon->Tooltip().StartsWith("Arkivault\nLast run: 'Broken' failed, ")) << icon->Tooltip();
  ASSERT_EQ(1u, prompts.notices.size());
  EXPECT_TRUE(prompts.notices[0].StartsWith("Backup 'Broken' failed. Reason: "))
      << prompts.notices[0];
  const std::vector<RunRecord> runs = app->History().Load();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ("Broken", runs[0].job);
  EXPECT_EQ(RunTrigger::Scheduled, runs[0].trigger);
  EXPECT_EQ(RunRecord::Outcome::Failed, runs[0].outcome);
  EXPECT_NE(std::string::npos, runs[0].reason.find(cwd / "missing")) << runs[0].reason;
  // The next day's run of the same job fails too (begun and ended between two
  // ticks, most likely): announced again.
  clock.Advance(86400);
  app->Scheduler().OnTick();
  EXPECT_TRUE(app_test::WaitFor([&] { return prompts.notices.size() == 2; }, true));
  // Opening the window takes the warning back.
  wxCommandEvent click;
  icon->OnRestore(click);
  EXPECT_FALSE(icon->Warning());
}

}  // namespace
