// The interactive start inside this test process (its own process, so it may
// change directory), on Xvfb and a simulated clock: the jobs are listed and
// scheduled, a due run's end reaches the status bar, the exit releases all.
#include <gtest/gtest.h>

#include <wx/listctrl.h>
#include <wx/statusbr.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ArkivaultApp.h"
#include "jobs/BackupJob.h"
#include "platform/Clock.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"
#include "ui/MainFrame.h"

namespace {

using testing_support::WriteFile;

TEST(InteractiveStartTest, JobsAreListedScheduledRunAndReleased) {
  testing_support::TempDir cwd;
  WriteFile(cwd / "photos/beach.jpg", "not really a picture\n");
  std::filesystem::create_directories(cwd / "out");
  const std::string mondayAtTen = "<ScheduleFull Time=\"10:00\" Mon=\"1\"/>";
  WriteFile(cwd / "BackupDef/a.xml",
            app_test::JobDefinition("Photos", cwd / "photos", cwd / "out", mondayAtTen));
  WriteFile(cwd / "BackupDef/b.xml", "<Arkivault><BackupDef BackupTi");
  WriteFile(cwd / "BackupDef/c.xml", app_test::JobDefinition("Documents", cwd / "d", cwd / "out"));
  std::filesystem::create_directory_symlink(app_test::BinaryDir() + "/res", cwd / "res");
  std::filesystem::current_path(cwd.path());
  // The private test directory keeps this instance apart from any other.
  setenv("XDG_RUNTIME_DIR", cwd.path().c_str(), 1);
  // Monday 8 January 2024, 09:59 local time: "Photos" is due a minute later.
  platform::ManualClock clock(wxDateTime(8, wxDateTime::Jan, 2024, 9, 59).GetTicks());
  platform::Clock::Install(&clock);
  const app_test::LogCapture* log = app_test::StartToolkit(new ArkivaultApp(StartOptions()));
  ASSERT_NE(nullptr, log) << "no display: run under xvfb-run";
  ArkivaultApp& app = wxGetApp();
  ASSERT_TRUE(app.CallOnInit());

  // The broken file is reported by name and left out; the rows follow the file names.
  EXPECT_NE(std::string::npos, log->text.find("'BackupDef/b.xml'")) << log->text;
  ASSERT_NE(nullptr, app.MainWindow());
  wxListCtrl& list = *XRCCTRL(*app.MainWindow(), "ID_LISTCTRL", wxListCtrl);
  ASSERT_EQ(2, list.GetItemCount());
  EXPECT_EQ("Photos", list.GetItemText(0));
  EXPECT_EQ("Documents", list.GetItemText(1));
  ASSERT_EQ(1u, app.Scheduler().FullQueue().size());
  EXPECT_TRUE(app.Scheduler().Timer().IsRunning());

  // The check after 10:00 starts "Photos"; the refresh timer reports its end
  // (events are handled until it has, and 0.5 s more for the screenshot).
  clock.Advance(80);
  app.Scheduler().OnTick();
  EXPECT_EQ(0, app.RunningJobIndex());
  const wxStatusBar& status = *app.MainWindow()->GetStatusBar();
  for (int i = 0, after = 0; i < 6000 && after < 50; ++i) {
    wxYield();
    wxMilliSleep(10);
    if (status.GetStatusText(0) == "Backup 'Photos' completed.") ++after;
  }
  const std::string screenshot = app_test::ScreenshotFile("job-list.png");
  testing_support::RunCommand("import -window root " + testing_support::ShellQuote(screenshot));
  EXPECT_EQ("Backup 'Photos' completed.", status.GetStatusText(0));
  EXPECT_EQ("1 files added, 0 kB read", status.GetStatusText(1));
  EXPECT_EQ(nullptr, app.Progress().finishedJob.load());
  EXPECT_ZIP_VALID(cwd / "out/Photos.zip");

  EXPECT_EQ(0, app.OnExit());
  EXPECT_TRUE(app.Jobs().empty());
  EXPECT_FALSE(app.Scheduler().Timer().IsRunning());
  EXPECT_FALSE(app.RefreshTimer().IsRunning());
  wxEntryCleanup();
  platform::Clock::Install(nullptr);
}

}  // namespace
