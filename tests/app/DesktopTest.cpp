// Arkivault on the desktop: the installed program and its menu entry, and the
// autostart entry that starts it at login.
#include <gtest/gtest.h>

#include <wx/log.h>

#include <filesystem>
#include <string>

#include "app/Autostart.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

bool DesktopEntryValid(const std::string& path) {
  std::string output;
  const bool valid = RunCommand("desktop-file-validate " + ShellQuote(path), &output) == 0;
  EXPECT_EQ("", output);
  return valid;
}

TEST(DesktopTest, InstalledProgramFindsItsFilesFromAnyDirectory) {
  testing_support::TempDir prefix, elsewhere;
  std::string output;
  ASSERT_EQ(0, RunCommand("cmake --install " + ShellQuote(app_test::BinaryDir()) + " --prefix " +
                              ShellQuote(prefix.path()) + " 2>&1", &output)) << output;
  // A batch run gets as far as the job only once the resource archive is loaded.
  const auto result = app_test::RunProgram(prefix / "bin/arkivault", "nosuch.xml", elsewhere.path());
  EXPECT_NE(std::string::npos, result.err.find("Couldn't open file 'nosuch.xml'.")) << result.err;
  EXPECT_TRUE(testing_support::PathExists(prefix / "share/arkivault/res/Arkivault.htb"));
  EXPECT_TRUE(DesktopEntryValid(prefix / "share/applications/arkivault.desktop"));
  for (const std::string size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
    const std::string icon = prefix / ("share/icons/hicolor/" + size + "/apps/arkivault.png");
    EXPECT_EQ("\x89PNG", ReadFile(icon).substr(0, 4)) << icon;
  }
}

TEST(DesktopTest, AutostartEntry) {
  // Paths that need quoting in an Exec line, and the lines written for them.
  struct Case { std::string program, directory, exec, path; };
  const Case cases[] = {
      {"/usr/bin/arkivault", "/home/a", "Exec=/usr/bin/arkivault -n", "Path=/home/a"},
      {"/opt/my apps/arkivault", "/home/a b", "Exec=\"/opt/my apps/arkivault\" -n",
       "Path=/home/a b"},
      {"/o/100%$x\\y\"z", "/h/c\\d", "Exec=\"/o/100%%\\\\$x\\\\\\\\y\\\\\"z\" -n", "Path=/h/c\\\\d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const wxString text = Autostart::EntryText(c.program, c.directory);
    EXPECT_NE(wxNOT_FOUND, text.Find("\n" + c.exec + "\n")) << text;
    EXPECT_NE(wxNOT_FOUND, text.Find("\n" + c.path + "\n")) << text;
  }
  EXPECT_EQ("", Autostart::EntryText("/usr/bin/arkivault", "/home/a\nExec=rm"));

  testing_support::TempDir config;
  Autostart autostart(config / "deep/autostart");
  EXPECT_FALSE(autostart.IsEnabled());
  ASSERT_TRUE(autostart.Enable("/opt/my apps/arkivault", "/home/a"));
  EXPECT_TRUE(DesktopEntryValid(autostart.Path().utf8_string()));
  EXPECT_TRUE(autostart.IsEnabled());
  // The desktop's own switch hides the entry rather than removing it.
  testing_support::WriteFile(autostart.Path().utf8_string(),
                             ReadFile(autostart.Path().utf8_string()) + "Hidden=true\n");
  EXPECT_FALSE(autostart.IsEnabled());
  EXPECT_TRUE(autostart.Enable("/usr/bin/arkivault", "/home/a"));
  EXPECT_TRUE(autostart.IsEnabled());
  EXPECT_TRUE(autostart.Disable());
  EXPECT_FALSE(autostart.IsEnabled());
  EXPECT_TRUE(autostart.Disable());
  // A file where the directory should be: refused with a message.
  testing_support::WriteFile(config / "file", "");
  wxLogNull quiet;
  EXPECT_FALSE(Autostart(config / "file/autostart").Enable("/usr/bin/arkivault", "/home/a"));
}

}  // namespace
