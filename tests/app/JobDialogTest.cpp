// The job dialog as the user drives it, shown modally over the running
// application's main window on Xvfb: validation, what OK writes into the job,
// the directory choosers' "below the source root" rule, pattern rows edited in
// place, the column refit, and a screenshot of every page.
#include <wx/combobox.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>

#include "jobs/BackupJob.h"
#include "tests/app/WindowTestSupport.h"
#include "ui/BackupJobDialog.h"

namespace {

using app_test::Control;
using app_test::Id;
using app_test::Send;
using app_test::Type;

class JobDialogTest : public app_test::AppFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(Start()); }

  // Shows the dialog for `job`, runs `script` inside it and returns how it ended.
  int Edit(BackupJob& job, std::function<void(BackupJobDialog&)> script) {
    BackupJobDialog dialog(job, *app);
    dialog.Create(&Frame());
    app_test::WhenShown<BackupJobDialog>(script);
    return dialog.ShowModal();
  }

  // A new job that saves /data into /out.
  static BackupJob Job() {
    BackupJob job("Job");
    job.SourceRootPath = "/data";
    job.TargetPath = "/out";
    return job;
  }
};

std::string Rows(wxListCtrl& list) {
  std::string rows;
  for (long row = 0; row < list.GetItemCount(); ++row) rows += "[" + list.GetItemText(row) + "]";
  return rows;
}

TEST_F(JobDialogTest, ValidationRefusesInOrderAndLeavesTheJobAlone) {
  // `list`: its only pattern removed by `tool`.
  struct Case { const char *destination, *source, *list, *tool, *message; };
  const Case cases[] = {
      {"", "/data", nullptr, nullptr, "Please specify a destination root!"},
      {"/out", "", nullptr, nullptr,
       "Please specify either the source root or at least one archive directory!"},
      {"/out", "/data", "ID_FILEINCL", "ID_DELETE_FILEINC",
       "Please specify at least one include file pattern!"},
      {"/out", "/data", "ID_DIRINCL", "ID_DELETE_DIRINC",
       "Please specify at least one include directory pattern!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    BackupJob job("New Job");
    const int result = Edit(job, [&](BackupJobDialog& d) {
      Type(d, "ID_DESTINATION_TEXT", c.destination);
      Type(d, "ID_SOURCE_TEXT", c.source);
      if (c.list != nullptr) app_test::Select(Control<wxListCtrl>(d, c.list), 0);
      if (c.tool != nullptr) Send(d, wxEVT_TOOL, c.tool);
      Send(d, wxEVT_BUTTON, "ID_OK");
      EXPECT_TRUE(d.IsModal());
      Send(d, wxEVT_BUTTON, "ID_CANCEL");
    });
    EXPECT_EQ(wxID_CANCEL, result);
    EXPECT_EQ(std::vector<std::string>{std::string("Edit Backup Job: ") + c.message},
              prompts.Take());
    EXPECT_FALSE(job.Modified);
    EXPECT_EQ("", job.TargetPath);
    EXPECT_EQ((BackupJob::StringList{"*"}), job.IncludeFilePatterns);
  }
}

TEST_F(JobDialogTest, OkTakesBackWhatChanged) {
  // A just-created job confirmed unchanged is modified: its unset times become 00:00.
  BackupJob fresh = Job();
  EXPECT_EQ(wxID_OK, Edit(fresh, [](BackupJobDialog& d) { Send(d, wxEVT_BUTTON, "ID_OK"); }));
  EXPECT_TRUE(fresh.Modified);
  EXPECT_TRUE(fresh.ScheduleFull.HasTime());

  // A saved job confirmed unchanged stays unmodified; the same suffix chosen
  // again marks it modified; typed texts and times are taken.
  fresh.Modified = false;
  EXPECT_EQ(wxID_OK, Edit(fresh, [](BackupJobDialog& d) { Send(d, wxEVT_BUTTON, "ID_OK"); }));
  EXPECT_FALSE(fresh.Modified);
  Edit(fresh, [](BackupJobDialog& d) {
    wxCommandEvent choice(wxEVT_CHOICE, Id("ID_SUFFIX"));
    choice.SetInt(0);
    d.GetEventHandler()->ProcessEvent(choice);
    Type(d, "ID_JOBNAME", "Letters");
    Control<wxComboBox>(d, "ID_FULLTIME").SetValue("7:5");
    Control<wxCheckBox>(d, "ID_FULLFRI").SetValue(true);
    // A new job keeps 4 old archives; the page says what a value means.
    EXPECT_EQ("Keep the 4 newest old archives",
              Control<wxStaticText>(d, "ID_KEEP_OLD_TEXT").GetLabel());
    Control<wxSpinCtrl>(d, "ID_KEEP_DAYS").SetValue(30);
    wxSpinEvent spin(wxEVT_SPINCTRL, Id("ID_KEEP_DAYS"));
    d.GetEventHandler()->ProcessEvent(spin);
    EXPECT_EQ("Remove old archives and dated backups after 30 days",
              Control<wxStaticText>(d, "ID_KEEP_DAYS_TEXT").GetLabel());
    Send(d, wxEVT_BUTTON, "ID_OK");
  });
  EXPECT_EQ(std::make_tuple(true, SuffixKind::None, std::string("Letters"), std::string("07:05"),
                            JobSchedule::Fri, 30u),
            std::make_tuple(fresh.Modified, fresh.Suffix, fresh.BackupTitle, fresh.FullTimeText(),
                            fresh.ScheduleFull.Days, fresh.KeepDays));
  // Cancel writes nothing.
  fresh.Modified = false;
  Edit(fresh, [](BackupJobDialog& d) {
    Type(d, "ID_JOBNAME", "Other");
    Send(d, wxEVT_BUTTON, "ID_CANCEL");
  });
  EXPECT_EQ("Letters", fresh.BackupTitle);
  EXPECT_FALSE(fresh.Modified);
}

// The choosers for archive and exclude directories take directories at or
// below the source root as typed (case-sensitive) and refuse others.
TEST_F(JobDialogTest, DirectoriesBelowTheSourceRoot) {
  // chosen "": cancelled; rows: the list afterwards; error "": none.
  struct Case { const char *root, *chosen, *list, *rows, *error; };
  const char* const archiveError =
      "Select Archive Directory: Archive directories must be subdirectories of the source root!";
  const Case cases[] = {
      {"/data", "/data/Projects", "ID_ARCHIVES", "[Projects]", ""},
      {"/data/", "/data/Projects/2025", "ID_ARCHIVES", "[Projects/2025]", ""},
      {"/data", "/data", "ID_ARCHIVES", "[]", ""},
      {"/data", "/dataX", "ID_ARCHIVES", "", archiveError},
      {"/data", "/Data/Projects", "ID_ARCHIVES", "", archiveError},
      {"/data", "/dataX", "ID_EXCLUDE", "",
       "Select Exclude Directory: Exclude directories must be subdirectories of the source root!"},
      {"", "/other/place", "ID_ARCHIVES", "[/other/place]", ""},
      {"/data", "", "ID_ARCHIVES", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.root) + " " + c.chosen + " " + c.list);
    BackupJob job = Job();
    if (*c.chosen != '\0') prompts.directories = {c.chosen};
    const bool archives = std::string(c.list) == "ID_ARCHIVES";
    Edit(job, [&](BackupJobDialog& d) {
      Type(d, "ID_SOURCE_TEXT", c.root);
      Send(d, wxEVT_TOOL, archives ? "ID_NEW_ARCHIVE" : "ID_NEW_EXCLUDE");
      EXPECT_EQ(c.rows, Rows(Control<wxListCtrl>(d, c.list)));
      Send(d, wxEVT_BUTTON, "ID_OK");
    });
    std::vector<std::string> asked{"choose: Choose a directory"};
    if (*c.error != '\0') asked.push_back(c.error);
    EXPECT_EQ(asked, prompts.Take());
    EXPECT_EQ(c.root, prompts.starts.back());
    // A refused or cancelled choice leaves the list unmarked: the job keeps its list.
    EXPECT_EQ(*c.rows != '\0', !(archives ? job.Archives : job.ExcludePaths).empty());
  }

  // Activating a row replaces it, starting the chooser at that directory.
  BackupJob job = Job();
  job.Archives = {"Old"};
  prompts.directories = {"/data/New"};
  Edit(job, [](BackupJobDialog& d) {
    wxListEvent activate(wxEVT_LIST_ITEM_ACTIVATED, Id("ID_ARCHIVES"));
    activate.SetIndex(0);
    d.GetEventHandler()->ProcessEvent(activate);
    Send(d, wxEVT_BUTTON, "ID_OK");
  });
  EXPECT_EQ("/data/Old", prompts.starts.back());
  EXPECT_EQ((BackupJob::StringList{"New"}), job.Archives);
}

TEST_F(JobDialogTest, PatternRowsEditedInPlace) {
  BackupJob job = Job();
  Edit(job, [](BackupJobDialog& d) {
    wxListCtrl& list = Control<wxListCtrl>(d, "ID_FILEEXCL");
    wxToolBar& tools = Control<wxToolBar>(d, "ID_FILEEXC_TOOLS");
    tools.UpdateWindowUI();
    EXPECT_FALSE(tools.GetToolEnabled(Id("ID_DELETE_FILEEXC")));
    // A new row left empty is removed when its edit ends.
    Send(d, wxEVT_TOOL, "ID_NEW_FILEEXC");
    ASSERT_NE(nullptr, list.GetEditControl());
    list.EndEditLabel(true);
    app_test::Pump(100);
    EXPECT_EQ("", Rows(list));
    // A new row given a pattern stays.
    Send(d, wxEVT_TOOL, "ID_NEW_FILEEXC");
    ASSERT_NE(nullptr, list.GetEditControl());
    list.GetEditControl()->SetValue("*.tmp");
    list.EndEditLabel(false);
    app_test::Pump(100);
    EXPECT_EQ("[*.tmp]", Rows(list));
    app_test::Select(list, 0);
    tools.UpdateWindowUI();
    EXPECT_TRUE(tools.GetToolEnabled(Id("ID_DELETE_FILEEXC")));
    Send(d, wxEVT_BUTTON, "ID_OK");
  });
  EXPECT_EQ((BackupJob::StringList{"*.tmp"}), job.ExcludeFilePatterns);
  EXPECT_EQ((BackupJob::StringList{"*"}), job.IncludeFilePatterns);
}

TEST_F(JobDialogTest, PagesAndResizing) {
  BackupJob job("Documents");
  job.SourceRootPath = "/home/user/Documents";
  job.TargetPath = "/media/backup";
  job.Archives = {"Letters", "Photos/2025"};
  job.ExcludePaths = {"Photos/tmp"};
  job.ExcludeFilePatterns = {"*.tmp", "~*"};
  job.ScheduleFull.Days = JobSchedule::Fri;
  job.ScheduleIncremental.Days = JobSchedule::AllDays & ~JobSchedule::Fri;
  Edit(job, [](BackupJobDialog& d) {
    auto& pages = Control<wxNotebook>(d, "ID_NOTEBOOK");
    for (size_t page = 0; page < pages.GetPageCount(); ++page) {
      pages.SetSelection(page);
      app_test::Screenshot(d, "job-dialog-" + std::to_string(page + 1) + ".png");
    }
    // The stored days are ticked: full runs on Friday, incremental ones on the other days.
    EXPECT_TRUE(Control<wxCheckBox>(d, "ID_FULLFRI").GetValue());
    EXPECT_FALSE(Control<wxCheckBox>(d, "ID_INCFRI").GetValue());
    // The single column of each list follows the list's width.
    pages.SetSelection(1);
    d.SetSize(d.GetSize() + wxSize(200, 120));
    app_test::Pump(200);
    wxListCtrl& archives = Control<wxListCtrl>(d, "ID_ARCHIVES");
    EXPECT_EQ(archives.GetClientSize().GetWidth() - 4, archives.GetColumnWidth(0));
    app_test::Screenshot(d, "job-dialog-resized.png");
    Send(d, wxEVT_BUTTON, "ID_CANCEL");
  });
}

}  // namespace
