// The interactive start as a process on a real (virtual) display: the main
// window appears with its layout and the program stays in its main loop.
// Screenshots of the screen are kept in the build tree for people to look at.
#include <gtest/gtest.h>

#include <wx/image.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/app/AppTestSupport.h"
#include "tests/app/ScreenCapture.h"

namespace {

using app_test::CaptureDrawnWindow;
using app_test::ScreenshotFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

bool IsRunning(const std::string& pid) { return RunCommand("kill -0 " + pid) == 0; }

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

// Starts `program` in `directory` in the background; its output goes to
// output.txt there. Returns its process id.
std::string Start(const std::string& program, const std::string& directory) {
  std::string pid;
  RunCommand("cd " + ShellQuote(directory) + " && " + ShellQuote(program) +
                 " >output.txt 2>&1 & echo $!",
             &pid);
  return pid.substr(0, pid.find('\n'));
}

void Stop(const std::string& pid) {
  RunCommand("kill " + pid);
  for (int attempt = 0; attempt < 100 && IsRunning(pid); ++attempt) Pause();
  if (IsRunning(pid)) RunCommand("kill -9 " + pid);
}

// Waits, up to 10 seconds, for a top-level window with this title.
bool WindowAppears(const std::string& title) {
  const std::string command =
      "xwininfo -root -tree | grep -qF " + ShellQuote("\"" + title + "\":");
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (RunCommand(command) == 0) return true;
    Pause();
  }
  return false;
}

TEST(MainWindowTest, InteractiveStartShowsTheMainWindow) {
  testing_support::TempDir cwd;
  const std::string pid = Start(app_test::Program(), cwd.path());
  wxImage screen;
  wxRect window;
  const bool shown = CaptureDrawnWindow(ScreenshotFile("main-window.png"), wxSize(500, 350), 100,
                                        &screen, &window);
  const bool running = IsRunning(pid);
  Stop(pid);

  ASSERT_TRUE(shown) << "window area " << window.GetWidth() << "x" << window.GetHeight() << "; "
                     << testing_support::ReadFile(cwd / "output.txt");
  EXPECT_TRUE(running);
  // The window is the only thing on the screen, centred on it.
  EXPECT_NEAR(screen.GetWidth() / 2, window.GetX() + window.GetWidth() / 2, 2);
  EXPECT_NEAR(screen.GetHeight() / 2, window.GetY() + window.GetHeight() / 2, 2);
  EXPECT_EQ("", testing_support::ReadFile(cwd / "output.txt"));
}

// A definition file that does not load is reported to the user in an error
// box over the main window, and the program carries on with the other jobs.
TEST(MainWindowTest, BrokenDefinitionIsReportedInAnErrorBox) {
  testing_support::TempDir cwd;
  app_test::WriteJobDirectory(cwd);
  const std::string pid = Start(app_test::Program(), cwd.path());
  const bool reported = WindowAppears("Arkivault Error");
  Pause();
  RunCommand("import -window root " + ShellQuote(ScreenshotFile("broken-definition.png")));
  const bool running = IsRunning(pid);
  Stop(pid);

  EXPECT_TRUE(reported) << testing_support::ReadFile(cwd / "output.txt");
  EXPECT_TRUE(running);
}

TEST(MainWindowTest, MissingArchiveIsReportedInAMessageBox) {
  testing_support::TempDir cwd;
  const std::string lone = cwd / "arkivault";
  std::filesystem::copy_file(app_test::Program(), lone);
  const std::string pid = Start(lone, cwd.path());
  wxImage screen;
  wxRect box;
  const bool shown =
      CaptureDrawnWindow(ScreenshotFile("missing-archive.png"), wxDefaultSize, 100, &screen, &box);
  // The program waits for the message box to be closed.
  const bool running = IsRunning(pid);
  Stop(pid);

  ASSERT_TRUE(shown) << testing_support::ReadFile(cwd / "output.txt");
  EXPECT_TRUE(running);
  EXPECT_NE(wxSize(500, 350), box.GetSize());  // not the main window
}

}  // namespace
