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

int RowImage(const wxListCtrl& list, long row) {
  wxListItem item;
  item.SetId(row);
  item.SetMask(wxLIST_MASK_IMAGE);
  list.GetItem(item);
  return item.GetImage();
}

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
  // Monday 8 January 2024, 09:59 local time: "Photos" is due a minute later.
  platform::ManualClock clock(wxDateTime(8, wxDateTime::Jan, 2024, 9, 59).GetTicks());
  platform::Clock::Install(&clock);
  const app_test::LogCapture* log = app_test::StartToolkit(new ArkivaultApp(StartOptions()));
  ASSERT_NE(nullptr, log) << "no display: run under xvfb-run";
  ArkivaultApp& app = wxGetApp();
  ASSERT_TRUE(app.CallOnInit());

  // The broken file is reported by name and left out; the rows follow the file names.
  EXPECT_NE(std::string::npos, log->text.find("'BackupDef/b.xml'")) << log->text;
  ASSERT_NE(nullptr, app.mainWindow);
  wxListCtrl& list = *XRCCTRL(*app.mainWindow, "ID_LISTCTRL", wxListCtrl);
  ASSERT_EQ(2, list.GetItemCount());
  EXPECT_EQ("Photos", list.GetItemText(0));
  EXPECT_EQ("Documents", list.GetItemText(1));
  ASSERT_EQ(1u, app.scheduler.FullQueue().size());
  EXPECT_TRUE(app.scheduler.Timer().IsRunning());

  // The check after 10:00 starts "Photos"; the refresh timer reports its end
  // (events are handled until it has, and 0.5 s more for the screenshot).
  clock.Advance(80);
  app.scheduler.OnTick();
  EXPECT_EQ(app.jobs[0].get(), app.runner.Job());
  const wxStatusBar& status = *app.mainWindow->GetStatusBar();
  for (int i = 0, after = 0; i < 6000 && after < 50; ++i) {
    wxYield();
    wxMilliSleep(10);
    if (status.GetStatusText(0) == "Backup 'Photos' completed.") ++after;
  }
  const std::string screenshot = app_test::ScreenshotFile("job-list.png");
  testing_support::RunCommand("import -window root " + testing_support::ShellQuote(screenshot));
  EXPECT_EQ("Backup 'Photos' completed.", status.GetStatusText(0));
  EXPECT_EQ("1 files added, 0 kB read", status.GetStatusText(1));
  EXPECT_EQ(nullptr, app.progress.finishedJob.load());
  EXPECT_ZIP_VALID(cwd / "out/Photos.zip");

  // A run's ticks cycle its row through the four run pictures; its end restores the job icon.
  std::vector<int> images;
  for (int tick = 0; tick < 5; ++tick) {
    app.mainWindow->ShowProgress(1, *app.jobs[1], app.progress);
    images.push_back(RowImage(list, 1));
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 1}), images);
  EXPECT_EQ("Processing 'Documents'...", status.GetStatusText(0));
  app.mainWindow->ShowCompletion(*app.jobs[1], false, app.progress);
  EXPECT_EQ("Backup 'Documents' failed.", status.GetStatusText(0));
  EXPECT_EQ(0, RowImage(list, 1));

  EXPECT_EQ(0, app.OnExit());
  EXPECT_TRUE(app.jobs.empty());
  EXPECT_FALSE(app.scheduler.Timer().IsRunning());
  EXPECT_FALSE(app.refreshTimer.IsRunning());
  wxEntryCleanup();
  platform::Clock::Install(nullptr);
}

}  // namespace
