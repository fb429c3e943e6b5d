// The interactive start inside this test process, on a real (virtual)
// display and a simulated clock: the application object loads the jobs of
// the current directory, lists them in its main window, hands them to the
// scheduler, reports the end of a scheduled run in the status bar and
// releases everything at exit.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/listctrl.h>
#include <wx/log.h>
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
#include "tests/app/ScreenCapture.h"
#include "tests/support/ExternalZip.h"
#include "ui/MainFrame.h"

namespace {

// Keeps every logged message, where the program would show message boxes
// that nobody closes.
class LogCapture : public wxLog {
 public:
  std::string text;

 protected:
  void DoLogTextAtLevel(wxLogLevel, const wxString& message) override {
    text += message.utf8_string() + "\n";
  }
};

void FailOnAssert(const wxString& file, int line, const wxString& function, const wxString& cond,
                  const wxString& message) {
  ADD_FAILURE_AT(file.utf8_str(), line) << function << ": " << cond << " " << message;
}

// Lets the application handle its events for about 10 ms.
void RunEvents() {
  wxYield();
  wxMilliSleep(10);
}

wxListCtrl& JobList(MainFrame& window) { return *XRCCTRL(window, "ID_LISTCTRL", wxListCtrl); }

std::vector<std::string> ListedTitles(MainFrame& window) {
  std::vector<std::string> titles;
  for (int row = 0; row < JobList(window).GetItemCount(); ++row) {
    titles.push_back(JobList(window).GetItemText(row).utf8_string());
  }
  return titles;
}

int RowImage(MainFrame& window, int row) {
  wxListItem item;
  item.SetId(row);
  item.SetMask(wxLIST_MASK_IMAGE);
  JobList(window).GetItem(item);
  return item.GetImage();
}

// Starts the application object in a directory of its own holding the jobs of
// WriteJobDirectory, at Monday 8 January 2024, 09:59 local time, when
// "Photos" is due a minute later. Each test is a process of its own, so
// changing its directory touches no other test.
class InteractiveStartTest : public ::testing::Test {
 protected:
  InteractiveStartTest() : clock_(wxDateTime(8, wxDateTime::Jan, 2024, 9, 59).GetTicks()) {}

  void SetUp() override {
    app_test::WriteJobDirectory(cwd_);
    std::filesystem::create_directory_symlink(app_test::BinaryDir() + "/res", cwd_ / "res");
    std::filesystem::current_path(cwd_.path());
    platform::Clock::Install(&clock_);
    static char name[] = "app_interactive_tests";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    wxApp::SetInstance(new ArkivaultApp(StartOptions()));
    ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display: run under xvfb-run";
    wxSetAssertHandler(FailOnAssert);
    log_ = new LogCapture;
    delete wxLog::SetActiveTarget(log_);
    ASSERT_TRUE(wxGetApp().CallOnInit());
    ASSERT_NE(nullptr, wxGetApp().mainWindow);
  }

  void TearDown() override {
    if (wxTheApp != nullptr) wxEntryCleanup();
    platform::Clock::Install(nullptr);
  }

  testing_support::TempDir cwd_;
  platform::ManualClock clock_;
  LogCapture* log_ = nullptr;  // owned by the toolkit's log
};

TEST_F(InteractiveStartTest, JobsAreListedScheduledAndReleased) {
  ArkivaultApp& app = wxGetApp();
  // The broken file is reported by name and left out; the others are rows in
  // the order of their file names.
  EXPECT_NE(std::string::npos, log_->text.find("'BackupDef/b-broken.xml'")) << log_->text;
  EXPECT_EQ((std::vector<std::string>{"Photos", "Documents"}), ListedTitles(*app.mainWindow));
  wxImage screen;
  wxRect window;
  EXPECT_TRUE(app_test::CaptureDrawnWindow(app_test::ScreenshotFile("job-list.png"),
                                           wxSize(500, 350), 100, &screen, &window, RunEvents));

  // Only the scheduled job is queued; both timers run.
  ASSERT_EQ(1u, app.scheduler.FullQueue().size());
  EXPECT_EQ(app.jobs[0].get(), app.scheduler.FullQueue().begin()->second);
  EXPECT_TRUE(app.scheduler.Timer().IsRunning());
  EXPECT_TRUE(app.refreshTimer.IsRunning());

  // The check after 10:00 starts it; the refresh timer reports its end.
  clock_.Advance(80);
  app.scheduler.OnTick();
  EXPECT_EQ(app.jobs[0].get(), app.runner.Job());
  EXPECT_TRUE(app.runner.FullBackup());
  const wxStatusBar* status = app.mainWindow->GetStatusBar();
  for (int i = 0; i < 6000 && status->GetStatusText(0) != "Backup 'Photos' completed."; ++i) {
    RunEvents();
  }
  EXPECT_EQ("Backup 'Photos' completed.", status->GetStatusText(0));
  EXPECT_EQ("1 files added, 0 kB read", status->GetStatusText(1));
  EXPECT_EQ(nullptr, app.progress.finishedJob.load());
  EXPECT_ZIP_VALID(cwd_ / "out/Photos.zip");
  EXPECT_TRUE(app_test::CaptureDrawnWindow(app_test::ScreenshotFile("job-completed.png"),
                                           wxSize(500, 350), 100, &screen, &window, RunEvents));

  EXPECT_EQ(0, app.OnExit());
  EXPECT_TRUE(app.jobs.empty());
  EXPECT_FALSE(app.scheduler.Timer().IsRunning());
  EXPECT_FALSE(app.refreshTimer.IsRunning());
}

// The main window's side of the refresh ticks: the running row cycles
// through the four run pictures, the end restores the job icon.
TEST_F(InteractiveStartTest, MainWindowShowsARunAndItsEnd) {
  ArkivaultApp& app = wxGetApp();
  MainFrame& window = *app.mainWindow;
  const BackupJob& documents = *app.jobs[1];
  app.progress.filesAdded = 3;
  app.progress.bytesRead = 2047;
  std::vector<int> images;
  for (int tick = 0; tick < 5; ++tick) {
    window.ShowProgress(1, documents, app.progress);
    images.push_back(RowImage(window, 1));
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 1}), images);
  EXPECT_EQ(0, RowImage(window, 0));
  EXPECT_EQ("Processing 'Documents'...", window.GetStatusBar()->GetStatusText(0));
  EXPECT_EQ("3 files added, 1 kB read", window.GetStatusBar()->GetStatusText(1));

  window.ShowCompletion(documents, false, app.progress);
  EXPECT_EQ("Backup 'Documents' failed.", window.GetStatusBar()->GetStatusText(0));
  EXPECT_EQ(0, RowImage(window, 1));
  EXPECT_EQ(0, app.OnExit());
}

}  // namespace
