// The resource files the build makes, as outside readers and the toolkit (on
// Xvfb) see them: the archive holds the sources under the names the program
// opens, every picture decodes at its size, and every window layout builds
// the controls the program looks up, of their kinds.
#include <gtest/gtest.h>

#include <wx/listctrl.h>
#include <wx/wx.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <set>

#include "app/ResourceFiles.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ExternalZip.h"

namespace {

using testing_support::ReadFile;

const std::string kBuiltDir = app_test::BinaryDir() + "/res/";

// The toolkit with the built archive loaded, once for the test program.
struct ResourceEnvironment : app_test::ToolkitEnvironment {
  bool Ready() override { return ResourceFiles(kBuiltDir).LoadArchive(); }
};

auto* const gToolkit = static_cast<app_test::ToolkitEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ResourceEnvironment));

TEST(ResourceTest, ArchiveAndIconsHoldEveryPicture) {
  const std::string archive = kBuiltDir + "Arkivault.xrs";
  EXPECT_ZIP_VALID(archive);
  const auto entries = testing_support::ExternalEntries(archive);
  const std::string sourceDir = std::string(std::getenv("ARKIVAULT_SOURCE_DIR")) + "/res/";
  EXPECT_EQ(ReadFile(sourceDir + "Arkivault.xrc"), entries.at("Arkivault.xrc").content);
  const ResourceFiles resources(kBuiltDir);
  const wxArrayString images = wxSplit(
      "file_new file_copy file_delete file_edit file_full file_inc file_cancel file_close "
      "file_exit file_open file_restore help_contents help_about", ' ');
  EXPECT_EQ(images.size() + 1, entries.size());
  for (const wxString& name : images) {
    SCOPED_TRACE(name);
    const std::string image = name.utf8_string() + ".png";
    ASSERT_EQ(1u, entries.count("Arkivault.xrs$" + image));
    EXPECT_EQ(ReadFile(sourceDir + "images/" + image), entries.at("Arkivault.xrs$" + image).content);
    const wxImage decoded = resources.LoadImage(image, wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(decoded.IsOk());
    EXPECT_EQ(wxSize(16, 16), decoded.GetSize());
    EXPECT_TRUE(decoded.HasAlpha());
  }
  // The tray's pictures are 16 pixels square, the job list's 32; no two alike.
  std::set<std::string> pictures;
  for (const wxString& icon : wxSplit("Backup BackupRun1 BackupRun2 BackupRun3 BackupRun4 "
                                      "job jobRun1 jobRun2 jobRun3 jobRun4", ' ')) {
    const int size = icon[0] == 'B' ? 16 : 32;
    EXPECT_EQ(wxSize(size, size), resources.LoadIcon(icon + ".ico").GetSize()) << icon;
    pictures.insert(ReadFile(kBuiltDir + icon.utf8_string() + ".ico"));
  }
  EXPECT_EQ(10u, pictures.size());
  // Missing files give empty pictures, without a message.
  gToolkit->log->text.clear();
  EXPECT_FALSE(resources.LoadImage("nosuch.png", wxBITMAP_TYPE_PNG).IsOk());
  EXPECT_FALSE(resources.LoadIcon("nosuch.ico").IsOk());
  EXPECT_EQ("", gToolkit->log->text);
}

// The help book holds its project, contents and index and every page they
// name; every link of a page leads to a page of the book.
TEST(ResourceTest, HelpBookLinksResolve) {
  const std::string book = kBuiltDir + "Arkivault.htb";
  EXPECT_ZIP_VALID(book);
  const auto entries = testing_support::ExternalEntries(book);
  for (const char* part : {"Arkivault.hhp", "Arkivault.hhc", "Arkivault.hhk", "index.html"}) {
    EXPECT_EQ(1u, entries.count(part)) << part;
  }
  size_t links = 0;
  for (const auto& [name, entry] : entries) {
    const std::string& text = entry.content;
    for (const std::string opener : {"href=\"", "value=\""}) {
      for (size_t at = text.find(opener); at != std::string::npos; at = text.find(opener, at + 1)) {
        const size_t start = at + opener.size();
        const std::string target = text.substr(start, text.find('"', start) - start);
        if (target.size() < 5 || target.compare(target.size() - 5, 5, ".html") != 0) continue;
        ++links;
        EXPECT_EQ(1u, entries.count(target)) << name << " -> " << target;
      }
    }
  }
  EXPECT_GT(links, 20u);
}

bool HasTool(wxWindow* window, const wxString& name) {
  auto* toolbar = dynamic_cast<wxToolBar*>(window);
  if (toolbar != nullptr && toolbar->FindById(wxXmlResource::GetXRCID(name))) return true;
  const wxWindowList& children = window->GetChildren();
  return std::any_of(children.begin(), children.end(),
                     [&](wxWindow* child) { return HasTool(child, name); });
}

TEST(ResourceTest, LayoutsHoldTheirControls) {
  auto* frame = new wxFrame;
  wxDialog job, about;
  ASSERT_TRUE(wxXmlResource::Get()->LoadFrame(frame, nullptr, "ID_MAINFRAME"));
  ASSERT_TRUE(wxXmlResource::Get()->LoadDialog(&job, nullptr, "ID_JOBSETUP"));
  ASSERT_TRUE(wxXmlResource::Get()->LoadDialog(&about, nullptr, "ID_DIALOG"));
  struct Controls { wxWindow* layout; wxClassInfo* kind; const char* names; };
  const Controls controls[] = {
      {frame, wxCLASSINFO(wxListCtrl), "ID_LISTCTRL"},
      {&about, wxCLASSINFO(wxStaticText), "ID_HTMLLINK ID_EMAILLINK"},
      {&job, wxCLASSINFO(wxTextCtrl),
       "ID_JOBNAME ID_FILENAME ID_DESCRIPTION ID_SOURCE_TEXT ID_DESTINATION_TEXT"},
      {&job, wxCLASSINFO(wxChoice), "ID_SUFFIX ID_COMPRESSION ID_PRIORITY"},
      {&job, wxCLASSINFO(wxComboBox), "ID_FULLTIME ID_INCTIME"},
      {&job, wxCLASSINFO(wxListCtrl),
       "ID_ARCHIVES ID_EXCLUDE ID_DIRINCL ID_DIREXCL ID_FILEINCL ID_FILEEXCL"},
      {&job, wxCLASSINFO(wxCheckBox),
       "ID_ACTIVE ID_EXCLHIDDENDIRS ID_EXCLHIDDENFILES ID_NOOVERWRITE ID_INDIVIDUAL ID_NOEMPTY "
       "ID_FULLMON ID_FULLTUE ID_FULLWED ID_FULLTHU ID_FULLFRI ID_FULLSAT ID_FULLSUN "
       "ID_INCMON ID_INCTUE ID_INCWED ID_INCTHU ID_INCFRI ID_INCSAT ID_INCSUN"},
      {&job, wxCLASSINFO(wxButton), "ID_OK ID_CANCEL ID_HELP"},
  };
  for (const Controls& group : controls) {
    for (const wxString& name : wxSplit(group.names, ' ')) {
      const wxWindow* window = group.layout->FindWindow(wxXmlResource::GetXRCID(name));
      ASSERT_NE(nullptr, window) << name;
      EXPECT_TRUE(window->IsKindOf(group.kind)) << name;
    }
  }
  for (const wxString& tool : wxSplit(
           "ID_SOURCE_BUTTON ID_TARGET_BUTTON ID_NEW_ARCHIVE ID_DELETE_ARCHIVE ID_NEW_EXCLUDE "
           "ID_DELETE_EXCLUDE ID_NEW_DIRINC ID_NEW_DIREXC ID_NEW_FILEINC ID_NEW_FILEEXC "
           "ID_DELETE_DIRINC ID_DELETE_DIREXC ID_DELETE_FILEINC ID_DELETE_FILEEXC", ' ')) {
    EXPECT_TRUE(HasTool(&job, tool)) << tool;
  }
  // The main window shows large icons; its titles and the job's pattern lists are edited in place.
  const long both = wxLC_ICON | wxLC_EDIT_LABELS;
  EXPECT_EQ(both, frame->FindWindow(XRCID("ID_LISTCTRL"))->GetWindowStyleFlag() & both);
  for (const wxString& name : wxSplit("ID_DIRINCL ID_DIREXCL ID_FILEINCL ID_FILEEXCL", ' ')) {
    EXPECT_TRUE(job.FindWindow(wxXmlResource::GetXRCID(name))->HasFlag(wxLC_EDIT_LABELS)) << name;
  }
  // The program maps entries to values by position.
  EXPECT_EQ(wxSplit("None,Weekday,Year and week,Date", ','),
            XRCCTRL(job, "ID_SUFFIX", wxChoice)->GetStrings());
  EXPECT_EQ(wxSplit("Low,Normal,High", ','), XRCCTRL(job, "ID_PRIORITY", wxChoice)->GetStrings());
  const wxArrayString levels = XRCCTRL(job, "ID_COMPRESSION", wxChoice)->GetStrings();
  ASSERT_EQ(10u, levels.size());
  for (size_t level = 0; level < levels.size(); ++level) {
    EXPECT_TRUE(levels[level].StartsWith(std::to_string(level))) << levels[level];
  }
  frame->Destroy();
}

}  // namespace
