// The interactive program with its tray icon, inside this test process on Xvfb
// with a tray host: the run animation and tooltip, the tray menu, Restore,
// Shutdown with its question, and the end of the session by SIGTERM.
#include <wx/menu.h>
#include <wx/regex.h>

#include "jobs/BackupJob.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/support/ExternalZip.h"
#include "ui/CommandTable.h"

namespace {

// The program started with "-n" in a fresh directory whose job "Big" saves
// four files into out/Big.zip; a tray host is on the display. A run is held
// at the second read of big/held/4.bin, after the three files of big/, until
// released or cancelled.
class TrayTest : public app_test::AppFixture {
 protected:
  void SetUp() override {
    testing_support::RunCommand(
        "cd " + testing_support::ShellQuote(cwd.path()) + " && mkdir -p big/held out && " +
        "for f in big/1 big/2 big/3 big/held/4; do head -c 200000 /dev/urandom >$f.bin; done");
    WriteJob("big.xml", "Big", "big");
    StartOptions options;
    options.noGui = true;
    ASSERT_TRUE(Start(options));
  }

  // Starts "Big" and waits until it is held at its first file.
  void StartBigRun() {
    gate.SetGate(run_test::GateEnv::Point::SecondRead, "/big/held/", true);
    app->StartJob(0, true);
    ASSERT_TRUE(app->IsRunning());
    gate.WaitUntilReached();
  }

  // Waits (10 s) for the end of the session: the run aborted, its archive sound.
  void ExpectSessionEnded() {
    ASSERT_TRUE(app_test::WaitFor([&] { return app->TaskBarIcon() == nullptr; }, true))
        << "the session did not end within 10 s";
    EXPECT_FALSE(app->IsRunning());
    EXPECT_ZIP_VALID(cwd / "out/Big.zip");
  }

  run_test::GateEnv gate;
  testing_support::ScopedEnv installed{&gate};
  app_test::TrayHost tray;
};

TEST_F(TrayTest, IconFollowsTheRunAndShutdownAsksFirst) {
  ArkivaultTaskBarIcon* icon = app->TaskBarIcon();
  ASSERT_NE(nullptr, icon);
  EXPECT_TRUE(icon->IsIconInstalled());
  EXPECT_EQ("Arkivault", icon->Tooltip());
  EXPECT_EQ(nullptr, app->MainWindow());  // "-n"

  // Shutdown is greyed while a modal dialog is open, Restore Files without a
  // job selected in the main window.
  wxMenu& menu = icon->Menu();
  const int shutdown = CommandId(kTrayMenu.back());
  for (const bool modal : {true, false}) {
    app->SetModalDialogOpen(modal);
    menu.UpdateUI();
    EXPECT_EQ(!modal, menu.IsEnabled(shutdown));
    EXPECT_FALSE(menu.IsEnabled(CommandId(kTrayMenu[1])));
  }

  // A run: the frames turn, the tooltip shows the progress on three lines;
  // after it, the idle icon and "Arkivault" with the last run.
  StartBigRun();
  ASSERT_TRUE(app_test::WaitFor([&] { return app->Presenter().Frame() == 2; }, true))
      << "the run's frames did not turn within 10 s";
  const wxRegEx progress("^Processing 'Big'\\.\n[0-9]+ files\\.\n[0-9]+ kB\\.$");
  EXPECT_TRUE(progress.Matches(icon->Tooltip())) << icon->Tooltip();
  gate.Release();
  ASSERT_TRUE(app_test::WaitFor([&] { return !app->IsRunning(); }, true))
      << "the run did not end within 10 s";
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
  const int autostart = app_test::Id("ID_AUTOSTART");
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
  icon->OnShutdownCommand(click);
  wxYield();
  EXPECT_EQ(1u, prompts.Take().size());
  EXPECT_TRUE(app->IsRunning());
  EXPECT_NE(nullptr, app->TaskBarIcon());
  prompts.answers = {wxYES};
  icon->OnShutdownCommand(click);
  EXPECT_FALSE(app->IsRunning());
  ExpectSessionEnded();
  EXPECT_EQ(1u, prompts.Take().size());
  EXPECT_EQ(nullptr, app->MainWindow());
}

TEST_F(TrayTest, SigtermDuringARunClosesTheArchiveAndEnds) {
  StartBigRun();
  kill(getpid(), SIGTERM);
  ExpectSessionEnded();
  EXPECT_TRUE(prompts.Take().empty());
}

// SIGTERM while the tray's question is open (a real dialog) cancels it and
// ends the program, the run aborted (a question left open would hold the
// session past the wait's deadline).
TEST_F(TrayTest, SigtermCancelsAnOpenQuestion) {
  StartBigRun();
  UserPrompts::Install(nullptr);
  // Sent from the question's own event loop, once it runs.
  wxTheApp->CallAfter([] { kill(getpid(), SIGTERM); });
  wxCommandEvent click;
  app->TaskBarIcon()->OnShutdownCommand(click);
  ExpectSessionEnded();
}

// A scheduled run that fails while the window is closed turns the tray icon
// to its warning, names the job in the tooltip and in a desktop notification,
// and leaves its record.
TEST_F(TrayTest, AFailedScheduledRunWarnsAndIsRecorded) {
  app_test::ScopedClock clock(wxDateTime(8, wxDateTime::Jan, 2024, 9, 59).GetTicks());
  BackupJob* job = app->CreateJob();
  job->BackupTitle = "Broken";
  job->SourceRootPath = cwd / "big";
  job->TargetPath = cwd / "missing";
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
  EXPECT_EQ(0u, prompts.notices[0].find("Backup 'Broken' failed. Reason: ")) << prompts.notices[0];
  const std::vector<RunRecord> runs = app->History().Load();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(std::make_tuple(std::string("Broken"), RunTrigger::Scheduled,
                            RunRecord::Outcome::Failed),
            std::tie(runs[0].job, runs[0].trigger, runs[0].outcome));
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
