// The resource archive as the toolkit loads it, with a real display (Xvfb):
// every window layout builds the controls the program looks up, of the kind
// it casts them to, and every image and icon decodes at its size.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/xrc/xmlres.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/ResourceFiles.h"
#include "tests/app/AppTestSupport.h"

namespace {

ResourceFiles BuiltResources() { return ResourceFiles(app_test::BinaryDir() + "/res"); }

void FailOnAssert(const wxString& file, int line, const wxString& function, const wxString& cond,
                  const wxString& message) {
  ADD_FAILURE_AT(file.utf8_str(), line) << function << ": " << cond << " " << message;
}

// Ends the test program: a failure while the environment is set up would
// otherwise only mark the tests skipped.
void Abandon(const char* why) {
  std::fprintf(stderr, "%s\n", why);
  std::exit(EXIT_FAILURE);
}

// Starts the toolkit with GTK and loads the built archive, once for the test program.
class ToolkitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static char name[] = "app_gui_tests";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) Abandon("no display: run under xvfb-run");
    // Errors and failed assertions are printed and fail the test, never shown
    // in a dialog that nobody closes.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxSetAssertHandler(FailOnAssert);
    wxInitAllImageHandlers();
    if (!BuiltResources().LoadArchive()) Abandon("the built resource archive does not load");
  }
  void TearDown() override { wxEntryCleanup(); }
};

const auto* const kToolkit = ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

// Counts the errors logged while it is alive.
class ErrorCounter : public wxLog {
 public:
  ErrorCounter() : previous_(wxLog::SetActiveTarget(this)) {}
  ~ErrorCounter() override { wxLog::SetActiveTarget(previous_); }
  int errors = 0;

 protected:
  void DoLogRecord(wxLogLevel level, const wxString&, const wxLogRecordInfo&) override {
    if (level <= wxLOG_Error) ++errors;
  }

 private:
  wxLog* previous_;
};

bool HasTool(wxWindow* window, const char* name) {
  if (auto* toolbar = dynamic_cast<wxToolBar*>(window)) {
    if (toolbar->FindById(XRCID(name)) != nullptr) return true;
  }
  for (wxWindow* child : window->GetChildren()) {
    if (HasTool(child, name)) return true;
  }
  return false;
}

std::vector<std::string> Entries(wxItemContainerImmutable* control) {
  std::vector<std::string> entries;
  for (unsigned i = 0; i < control->GetCount(); ++i) {
    entries.push_back(control->GetString(i).utf8_string());
  }
  return entries;
}

TEST(ResourceLoadTest, MainFrame) {
  auto* frame = new wxFrame;
  ASSERT_TRUE(wxXmlResource::Get()->LoadFrame(frame, nullptr, "ID_MAINFRAME"));
  ASSERT_NE(nullptr, frame->GetMenuBar());
  EXPECT_GE(frame->GetMenuBar()->GetMenuCount(), 2u);
  auto* list = XRCCTRL(*frame, "ID_LISTCTRL", wxListCtrl);
  ASSERT_NE(nullptr, list);
  EXPECT_TRUE(list->HasFlag(wxLC_ICON));
  EXPECT_TRUE(list->HasFlag(wxLC_EDIT_LABELS));
  ASSERT_NE(nullptr, frame->GetStatusBar());
  EXPECT_GE(frame->GetStatusBar()->GetFieldsCount(), 2);
  frame->Destroy();
}

TEST(ResourceLoadTest, JobDialogHoldsEveryControl) {
  wxDialog dialog;
  ASSERT_TRUE(wxXmlResource::Get()->LoadDialog(&dialog, nullptr, "ID_JOBSETUP"));
  struct Control {
    const char* name;
    wxClassInfo* kind;
  };
  std::vector<Control> controls = {
      {"ID_JOBNAME", wxCLASSINFO(wxTextCtrl)},       {"ID_FILENAME", wxCLASSINFO(wxTextCtrl)},
      {"ID_SUFFIX", wxCLASSINFO(wxChoice)},          {"ID_DESCRIPTION", wxCLASSINFO(wxTextCtrl)},
      {"ID_ACTIVE", wxCLASSINFO(wxCheckBox)},        {"ID_SOURCE_TEXT", wxCLASSINFO(wxTextCtrl)},
      {"ID_DESTINATION_TEXT", wxCLASSINFO(wxTextCtrl)}, {"ID_ARCHIVES", wxCLASSINFO(wxListCtrl)},
      {"ID_EXCLUDE", wxCLASSINFO(wxListCtrl)},       {"ID_DIRINCL", wxCLASSINFO(wxListCtrl)},
      {"ID_DIREXCL", wxCLASSINFO(wxListCtrl)},       {"ID_FILEINCL", wxCLASSINFO(wxListCtrl)},
      {"ID_FILEEXCL", wxCLASSINFO(wxListCtrl)},      {"ID_EXCLHIDDENDIRS", wxCLASSINFO(wxCheckBox)},
      {"ID_EXCLHIDDENFILES", wxCLASSINFO(wxCheckBox)}, {"ID_FULLTIME", wxCLASSINFO(wxComboBox)},
      {"ID_INCTIME", wxCLASSINFO(wxComboBox)},       {"ID_COMPRESSION", wxCLASSINFO(wxChoice)},
      {"ID_NOOVERWRITE", wxCLASSINFO(wxCheckBox)},   {"ID_INDIVIDUAL", wxCLASSINFO(wxCheckBox)},
      {"ID_NOEMPTY", wxCLASSINFO(wxCheckBox)},       {"ID_PRIORITY", wxCLASSINFO(wxChoice)},
      {"ID_OK", wxCLASSINFO(wxButton)},              {"ID_CANCEL", wxCLASSINFO(wxButton)},
      {"ID_HELP", wxCLASSINFO(wxButton)},
  };
  const char* const days[] = {"ID_FULLMON", "ID_FULLTUE", "ID_FULLWED", "ID_FULLTHU",
                              "ID_FULLFRI", "ID_FULLSAT", "ID_FULLSUN", "ID_INCMON",
                              "ID_INCTUE",  "ID_INCWED",  "ID_INCTHU",  "ID_INCFRI",
                              "ID_INCSAT",  "ID_INCSUN"};
  for (const char* day : days) controls.push_back({day, wxCLASSINFO(wxCheckBox)});
  for (const Control& control : controls) {
    SCOPED_TRACE(control.name);
    wxWindow* window = dialog.FindWindow(XRCID(control.name));
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(window->IsKindOf(control.kind)) << window->GetClassInfo()->GetClassName();
  }
  for (const char* lists : {"ID_DIRINCL", "ID_DIREXCL", "ID_FILEINCL", "ID_FILEEXCL"}) {
    EXPECT_TRUE(XRCCTRL(dialog, lists, wxListCtrl)->HasFlag(wxLC_EDIT_LABELS)) << lists;
  }
  for (const char* tool :
       {"ID_SOURCE_BUTTON", "ID_TARGET_BUTTON", "ID_NEW_ARCHIVE", "ID_DELETE_ARCHIVE",
        "ID_NEW_EXCLUDE", "ID_DELETE_EXCLUDE", "ID_NEW_DIRINC", "ID_NEW_DIREXC", "ID_NEW_FILEINC",
        "ID_NEW_FILEEXC", "ID_DELETE_DIRINC", "ID_DELETE_DIREXC", "ID_DELETE_FILEINC",
        "ID_DELETE_FILEEXC"}) {
    EXPECT_TRUE(HasTool(&dialog, tool)) << tool;
  }
  // The program maps entries to values by position.
  EXPECT_EQ(4u, Entries(XRCCTRL(dialog, "ID_SUFFIX", wxChoice)).size());
  const auto levels = Entries(XRCCTRL(dialog, "ID_COMPRESSION", wxChoice));
  ASSERT_EQ(10u, levels.size());
  for (size_t level = 0; level < levels.size(); ++level) {
    EXPECT_EQ(std::to_string(level), levels[level].substr(0, 1));
  }
  EXPECT_EQ((std::vector<std::string>{"Low", "Normal", "High"}),
            Entries(XRCCTRL(dialog, "ID_PRIORITY", wxChoice)));
  EXPECT_EQ((std::vector<std::string>{"None", "Weekday", "Year and week", "Date"}),
            Entries(XRCCTRL(dialog, "ID_SUFFIX", wxChoice)));
}

TEST(ResourceLoadTest, AboutDialogHoldsBothLinks) {
  wxDialog dialog;
  ASSERT_TRUE(wxXmlResource::Get()->LoadDialog(&dialog, nullptr, "ID_DIALOG"));
  EXPECT_NE(nullptr, XRCCTRL(dialog, "ID_HTMLLINK", wxStaticText));
  EXPECT_NE(nullptr, XRCCTRL(dialog, "ID_EMAILLINK", wxStaticText));
}

TEST(ResourceLoadTest, ImagesAndIcons) {
  const ResourceFiles resources = BuiltResources();
  for (const char* name : {"file_new.png", "file_copy.png", "file_delete.png", "file_edit.png",
                           "file_full.png", "file_inc.png", "file_cancel.png", "file_close.png",
                           "file_exit.png", "file_open.png", "help_contents.png",
                           "help_about.png"}) {
    const wxImage image = resources.LoadImage(name, wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(image.IsOk()) << name;
    EXPECT_EQ(wxSize(16, 16), image.GetSize()) << name;
    EXPECT_TRUE(image.HasAlpha()) << name;
  }
  struct Icon {
    const char* name;
    int size;
  };
  for (const Icon& icon : {Icon{"Backup.ico", 16}, Icon{"BackupRun1.ico", 16},
                           Icon{"BackupRun4.ico", 16}, Icon{"job.ico", 32},
                           Icon{"jobRun1.ico", 32}, Icon{"jobRun4.ico", 32}}) {
    const wxIcon loaded = resources.LoadIcon(icon.name);
    ASSERT_TRUE(loaded.IsOk()) << icon.name;
    EXPECT_EQ(icon.size, loaded.GetWidth()) << icon.name;
    EXPECT_EQ(icon.size, loaded.GetHeight()) << icon.name;
  }
  // Missing files give empty pictures, silently.
  ErrorCounter counter;
  EXPECT_FALSE(resources.LoadImage("nosuch.png", wxBITMAP_TYPE_PNG).IsOk());
  EXPECT_FALSE(resources.LoadIcon("nosuch.ico").IsOk());
  EXPECT_EQ(0, counter.errors);
}

}  // namespace
