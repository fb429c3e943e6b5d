// The main window of the running application on Xvfb: menu states, every job
// command with its questions, a backup started from the window, the about box
// and the help book. Message boxes and choosers are answered by a script;
// everything else is real.
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/listbox.h>
#include <wx/notebook.h>
#include <wx/statusbr.h>

#include "jobs/BackupJob.h"
#include "jobs/ScheduleCalendar.h"
#include "platform/Clock.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/engine/run/GateEnv.h"
#include "tests/support/ExternalZip.h"
#include "ui/AboutDialog.h"
#include "ui/BackupJobDialog.h"
#include "ui/CommandTable.h"
#include "ui/RunHistoryDialog.h"

namespace {

using app_test::Pump;
using app_test::WhenShown;
using testing_support::PathExists;
using testing_support::WriteFile;

const char kAbortQuestion[] =
    "The selected job is currently being processed.\n\nDo you want to abort the backup?";

class MainFrameTest : public app_test::AppFixture {
 protected:
  // The File menu, a space, then the context menu: "1" for each enabled item,
  // "0" for each disabled one (separators left out).
  std::string Enabled() {
    std::string flags;
    for (wxMenu* menu : {Frame().GetMenuBar()->GetMenu(0), &Frame().ContextMenu()}) {
      menu->UpdateUI(&Frame());
      if (!flags.empty()) flags += ' ';
      for (const wxMenuItem* item : menu->GetMenuItems()) {
        if (!item->IsSeparator()) flags += item->IsEnabled() ? '1' : '0';
      }
    }
    return flags;
  }

  // The Delete key pressed in the job list.
  void PressDelete() {
    wxListEvent key(wxEVT_LIST_KEY_DOWN, app_test::Id("ID_LISTCTRL"));
    key.SetKeyCode(WXK_DELETE);
    List().GetEventHandler()->ProcessEvent(key);
  }

  int RowImage(long row) {
    wxListItem item;
    item.SetId(row);
    item.SetMask(wxLIST_MASK_IMAGE);
    List().GetItem(item);
    return item.GetImage();
  }

  wxString Status(int field) { return Frame().GetStatusBar()->GetStatusText(field); }

  // Handles events until `done` holds, at most 20 s.
  void PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) Pump(10);
  }

  // Waits (20 s) for the first status field to start with `text`.
  void ExpectStatus(const wxString& text) {
    PumpUntil([&] { return Status(0).StartsWith(text); });
    EXPECT_TRUE(Status(0).StartsWith(text)) << Status(0);
  }

  // Holds the next run at the second read of big.bin until released or stopped.
  run_test::GateEnv gate;
  testing_support::ScopedEnv installed{&gate};
};

TEST_F(MainFrameTest, MenuStatesAndTheRunningJob) {
  WriteFile(cwd / "a/big.bin", std::string(300000, 'x'));
  WriteJob("a.xml", "Alpha", "a");
  WriteJob("b.xml", "Beta", "b");
  WriteFile(cwd / "BackupDef/c.xml", "<Arkivault><BackupDef BackupTi");
  ASSERT_TRUE(Start());
  // The broken file is reported by name and left out; the rows follow the file names.
  EXPECT_NE(std::string::npos, log->text.find("'BackupDef/c.xml'")) << log->text;
  ASSERT_EQ(2, List().GetItemCount());
  EXPECT_EQ("Alpha", List().GetItemText(0));
  EXPECT_EQ("Beta", List().GetItemText(1));
  // File menu: New Copy Delete Edit History Full Incremental Cancel Restore Start-at-Login
  // Close Shutdown; context menu: Copy Delete Edit History Full Incremental Cancel Restore.
  EXPECT_EQ("100000000111 00000000", Enabled());
  Select(1);
  EXPECT_EQ("111111101111 11111101", Enabled());

  gate.SetGate(run_test::GateEnv::Point::SecondRead, "big.bin", true);
  Select(0);
  Command("ID_STARTFULL");
  gate.WaitUntilReached();
  EXPECT_EQ("111110011111 11110011", Enabled());
  Select(1);
  EXPECT_EQ("111110001111 11110001", Enabled());

  // Delete or edit of the running job asks to abort first; No leaves it running.
  Select(0);
  Command("ID_DELETEJOB");
  Command("ID_EDITJOB");
  PressDelete();
  EXPECT_EQ((std::vector<std::string>{std::string("Delete Backup Job: ") + kAbortQuestion,
                                      std::string("Edit Backup Job: ") + kAbortQuestion,
                                      std::string("Delete Backup Job: ") + kAbortQuestion}),
            prompts.Take());
  EXPECT_TRUE(app->IsRunning());
  // Cancel asks too; Yes to abort and No to delete: the job stays, its run is over.
  Command("ID_CANCELJOB");
  EXPECT_EQ(std::vector<std::string>{
                "Cancel Backup Job: Are you sure, that you want to cancel the running backup job?"},
            prompts.Take());
  EXPECT_TRUE(app->IsRunning());
  prompts.answers = {wxYES, wxNO};
  Command("ID_DELETEJOB");
  EXPECT_FALSE(app->IsRunning());
  EXPECT_EQ(2, List().GetItemCount());
  EXPECT_EQ(std::vector<std::string>{"Delete Job: Are you sure that you want to delete 'Alpha' ?"},
            std::vector<std::string>(prompts.asked.begin() + 1, prompts.asked.end()));
  prompts.Take();
  ExpectStatus("Backup 'Alpha' failed. Cancelled. (at ");

  // A job deleted after its run was aborted is never named by a completion.
  Command("ID_STARTFULL");
  gate.WaitUntilReached();
  prompts.answers = {wxYES, wxYES};
  Command("ID_DELETEJOB");
  EXPECT_FALSE(PathExists(cwd / "BackupDef/a.xml"));
  ASSERT_EQ(1, List().GetItemCount());
  EXPECT_EQ("Beta", List().GetItemText(0));
  Pump(400);
  EXPECT_EQ(wxString::npos, Status(0).find("Alpha")) << Status(0);
  EXPECT_EQ(nullptr, app->Progress().finishedJob.load());
}

TEST_F(MainFrameTest, NewCopyRenameDelete) {
  ASSERT_TRUE(Start());
  // New, dialog cancelled: the job stays with its generated title, unsaved.
  WhenShown<BackupJobDialog>([](BackupJobDialog& d) { app_test::Send(d, wxEVT_BUTTON, "ID_CANCEL"); });
  Command("ID_NEWJOB");
  ASSERT_EQ(1, List().GetItemCount());
  EXPECT_EQ("New Job", List().GetItemText(0));
  EXPECT_FALSE(PathExists(cwd / "BackupDef"));
  EXPECT_FALSE(app->IsModalDialogOpen());

  // New, source and destination chosen, OK: the definition file is written.
  prompts.directories = {cwd / "out", cwd.path()};
  WhenShown<BackupJobDialog>([&](BackupJobDialog& d) {
    EXPECT_TRUE(app->IsModalDialogOpen());
    app_test::Type(d, "ID_JOBNAME", "My Documents and Photos");
    app_test::Send(d, wxEVT_TOOL, "ID_TARGET_BUTTON");
    app_test::Send(d, wxEVT_TOOL, "ID_SOURCE_BUTTON");
    app_test::Send(d, wxEVT_BUTTON, "ID_OK");
  });
  Command("ID_NEWJOB");
  ASSERT_EQ(2, List().GetItemCount());
  EXPECT_EQ("My Documents and Photos", List().GetItemText(1));
  // The longer title shows whole under its icon.
  Pump(200);
  wxRect label;
  List().GetItemRect(1, label, wxLIST_RECT_LABEL);
  EXPECT_GE(label.width, List().GetTextExtent(List().GetItemText(1)).x);
  const std::string saved = cwd / "BackupDef/My Documents and Photos.xml";
  BackupJob reread;
  ASSERT_TRUE(reread.Load(saved));
  EXPECT_EQ(cwd / "out", reread.TargetPath);
  EXPECT_EQ(cwd.path(), reread.SourceRootPath);
  prompts.Take();

  // Renaming in place rewrites the file at once; a cancelled edit renames nothing.
  for (const bool cancelled : {false, true}) {
    wxListEvent rename(wxEVT_LIST_END_LABEL_EDIT, app_test::Id("ID_LISTCTRL"));
    rename.SetIndex(1);
    rename.SetEditCanceled(cancelled);
    rename.m_item.SetText(cancelled ? "Other" : "Holiday photos");
    List().GetEventHandler()->ProcessEvent(rename);
    Pump(100);
    ASSERT_TRUE(reread.Load(saved));
    EXPECT_EQ("Holiday photos", reread.BackupTitle);
    EXPECT_EQ("Holiday photos", List().GetItemText(1));
  }

  // Copy of the selected row, then the Delete key asks and removes the original.
  Select(1);
  WhenShown<BackupJobDialog>([](BackupJobDialog& d) { app_test::Send(d, wxEVT_BUTTON, "ID_CANCEL"); });
  Command("ID_COPYJOB");
  ASSERT_EQ(3, List().GetItemCount());
  EXPECT_EQ("Copy of Holiday photos", List().GetItemText(2));
  prompts.answers = {wxYES};
  Select(1);
  PressDelete();
  EXPECT_EQ(std::vector<std::string>{
                "Delete Job: Are you sure that you want to delete 'Holiday photos' ?"},
            prompts.Take());
  EXPECT_FALSE(PathExists(saved));
  ASSERT_EQ(2, List().GetItemCount());
  EXPECT_EQ("Copy of Holiday photos", List().GetItemText(1));
  EXPECT_EQ(2u, app->Jobs().size());
}

// A backup started from the menu animates its row through the four run
// pictures and reports its end; a run that ends while the window is closed is
// reported by the next window.
TEST_F(MainFrameTest, BackupFromTheWindow) {
  WriteFile(cwd / "photos/beach.jpg", "not really a picture\n");
  WriteFile(cwd / "photos/big.bin", std::string(300000, 'x'));
  WriteJob("p.xml", "Photos", "photos", "  <ScheduleFull Time=\"23:00\" Sun=\"1\"/>\n");
  ASSERT_TRUE(Start());
  gate.SetGate(run_test::GateEnv::Point::SecondRead, "big.bin", true);
  Select(0);
  Command("ID_STARTFULL");
  std::set<int> images;
  PumpUntil([&] {
    images.insert(RowImage(0));
    return images.size() == 5;
  });
  EXPECT_EQ((std::set<int>{0, 1, 2, 3, 4}), images);
  EXPECT_EQ("Processing 'Photos'...", Status(0));
  app_test::Screenshot(Frame(), "main-window-running.png");
  gate.Release();
  ExpectStatus("Backup 'Photos' completed. (at ");
  EXPECT_EQ("2 files added, 292 kB read", Status(1));
  // The window's run left one record, and the job's last run shows when it is focused.
  const std::vector<RunRecord> runs = app->RunsOf(0);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(std::make_tuple(RunTrigger::Window, RunRecord::Outcome::Succeeded, uint64_t{2}),
            std::tie(runs[0].trigger, runs[0].outcome, runs[0].files));
  EXPECT_NE(wxString::npos, Frame().JobSummary(0).find(", full, succeeded. Next full: "))
      << Frame().JobSummary(0);
  // The details view: the last run and the next full run from the schedule.
  Command("ID_VIEW_DETAILS");
  ASSERT_EQ(5, List().GetColumnCount());
  EXPECT_EQ(RecordTime(runs[0].end).substr(0, 16) + ", full", List().GetItemText(0, 1));
  EXPECT_EQ("succeeded", List().GetItemText(0, 2));
  EXPECT_EQ(wxDateTime(static_cast<time_t>(ScheduleCalendar::NextRun(
                JobSchedule::Sun, 23, 0, platform::Clock::Current()->Now()).GetTicks()))
                .Format("%a %Y-%m-%d %H:%M"),
            List().GetItemText(0, 3));
  EXPECT_EQ("none", List().GetItemText(0, 4));
  for (int column = 0; column < 5; ++column) {
    EXPECT_GE(List().GetColumnWidth(column), List().GetTextExtent(List().GetItemText(0, column)).x);
  }
  app_test::Screenshot(Frame(), "main-window-details.png");
  // A status text too long for its field ends in "..." with the whole text as its tip.
  EXPECT_TRUE(Frame().GetStatusBar()->GetField(0).IsEllipsized()) << Status(0);
  Command("ID_VIEW_ICONS");
  EXPECT_EQ(0, List().GetColumnCount());
  EXPECT_EQ("Photos", List().GetItemText(0));
  Frame().SetStatusText(Frame().JobSummary(0), 0);
  app_test::Screenshot(Frame(), "main-window-last-run.png");
  {
    RunHistoryDialog history(&Frame(), "Photos", runs);
    history.Show();
    app_test::Screenshot(history, "history.png");
  }
  EXPECT_EQ(0, RowImage(0));
  EXPECT_ZIP_VALID(cwd / "out/Photos.zip");

  // Changed, so that the incremental run reads it again and is held there.
  WriteFile(cwd / "photos/big.bin", std::string(300000, 'y'));
  gate.SetGate(run_test::GateEnv::Point::SecondRead, "big.bin", true);
  Command("ID_STARTINC");
  gate.WaitUntilReached();
  Command("ID_EXIT");
  PumpUntil([&] { return app->MainWindow() == nullptr; });
  ASSERT_EQ(nullptr, app->MainWindow());
  gate.Release();
  PumpUntil([&] { return !app->IsRunning(); });
  Pump(300);
  EXPECT_NE(nullptr, app->Progress().finishedJob.load());
  app->ShowMainWindow();
  ExpectStatus("Backup 'Photos' completed. (at ");
  app_test::Screenshot(Frame(), "main-window.png");

  // The exit stops the timers and releases the jobs.
  EXPECT_EQ(0, app->OnExit());
  EXPECT_TRUE(app->Jobs().empty());
  EXPECT_FALSE(app->Scheduler().Timer().IsRunning());
  EXPECT_FALSE(app->RefreshTimer().IsRunning());
}

// Every item of every menu (the window's menus and their titles, its context
// menu, the tray's) has a mnemonic, and no two items of one menu share it.
TEST_F(MainFrameTest, EveryMenuItemHasItsOwnMnemonic) {
  ASSERT_TRUE(Start());
  wxMenuBar& bar = *Frame().GetMenuBar();
  wxMenu tray;
  AppendCommands(tray, kTrayMenu, app->Images(), true);
  std::vector<std::vector<wxString>> menus(1);
  for (size_t i = 0; i < bar.GetMenuCount(); ++i) menus[0].push_back(bar.GetMenuLabel(i));
  for (wxMenu* menu :
       {&Frame().ContextMenu(), &tray, bar.GetMenu(0), bar.GetMenu(1), bar.GetMenu(2)}) {
    menus.emplace_back();
    for (const wxMenuItem* item : menu->GetMenuItems()) {
      if (!item->IsSeparator()) menus.back().push_back(item->GetItemLabel());
    }
  }
  for (const std::vector<wxString>& labels : menus) {
    std::set<wxChar> keys;
    for (const wxString& label : labels) {
      const size_t amp = label.find('&');
      ASSERT_NE(wxString::npos, amp) << label;
      EXPECT_TRUE(keys.insert(wxTolower(label[amp + 1])).second) << label;
    }
  }
}

TEST_F(MainFrameTest, AboutBoxAndHelpBook) {
  ASSERT_TRUE(Start());
  for (int time = 0; time < 2; ++time) {
    WhenShown<AboutDialog>([&](AboutDialog& about) {
      EXPECT_TRUE(app->IsModalDialogOpen());
      if (time == 0) app_test::Screenshot(about, "about.png");
      // No program on this machine opens links.
      wxWindow* link = about.FindWindow(app_test::Id("ID_EMAILLINK"));
      wxMouseEvent click(wxEVT_LEFT_DOWN);
      click.SetEventObject(link);
      link->GetEventHandler()->ProcessEvent(click);
      EXPECT_EQ(std::vector<std::string>{"Open Link: Failed to open link!"}, prompts.Take());
      app_test::Send(about, wxEVT_BUTTON, "wxID_OK");
    });
    Command("ID_HELPABOUT");
    EXPECT_FALSE(app->IsModalDialogOpen());
  }

  Command("ID_HELPCONTENTS");
  wxHtmlHelpFrame* help = nullptr;
  for (int i = 0; i < 200 && help == nullptr; ++i) {
    Pump(10);
    for (wxWindow* window : wxTopLevelWindows) {
      if (help == nullptr) help = dynamic_cast<wxHtmlHelpFrame*>(window);
    }
  }
  ASSERT_NE(nullptr, help);
  Pump(200);
  EXPECT_EQ("Arkivault", help->GetHelpWindow()->GetHtmlWindow()->GetOpenedPageTitle());
  help->SetSize(800, 560);
  app_test::Screenshot(*help, "help.png");
  // The index page, laid out once shown: its list fills the page.
  auto* pages = dynamic_cast<wxNotebook*>(wxWindow::FindWindowByName("notebook", help));
  ASSERT_NE(nullptr, pages);
  pages->SetSelection(1);
  Pump(200);
  auto* index = dynamic_cast<wxListBox*>(wxWindow::FindWindowByName("listBox", pages->GetPage(1)));
  ASSERT_NE(nullptr, index);
  EXPECT_LT(0u, index->GetCount());
  EXPECT_LT(pages->GetSize().y / 2, index->GetSize().y);
  app_test::Screenshot(*help, "help-index.png");
  EXPECT_EQ("", log->text);
}

}  // namespace
