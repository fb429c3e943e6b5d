// The interactive start as a process on a real (virtual) display: the main
// window appears with its layout and the program stays in its main loop. A
// screenshot of the screen is kept in the build tree for people to look at.
#include <gtest/gtest.h>

#include <wx/image.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/app/AppTestSupport.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

bool IsBlack(const wxImage& image, int x, int y) {
  return image.GetRed(x, y) == 0 && image.GetGreen(x, y) == 0 && image.GetBlue(x, y) == 0;
}

// The bounding box of everything that is not the black background.
wxRect DrawnArea(const wxImage& screen) {
  int left = screen.GetWidth(), top = screen.GetHeight(), right = -1, bottom = -1;
  for (int y = 0; y < screen.GetHeight(); ++y) {
    for (int x = 0; x < screen.GetWidth(); ++x) {
      if (IsBlack(screen, x, y)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return wxRect();
  return wxRect(wxPoint(left, top), wxPoint(right, bottom));
}

bool FullyDrawn(const wxImage& screen, const wxRect& area) {
  for (int y = area.GetTop(); y <= area.GetBottom(); y += 3) {
    for (int x = area.GetLeft(); x <= area.GetRight(); x += 3) {
      if (IsBlack(screen, x, y)) return false;
    }
  }
  return true;
}

// Takes screenshots into `file`, up to `attempts` of them, until a window
// is on the screen and drawn (no black pixel left in it); of `size` unless
// that is the default size.
bool CaptureDrawnWindow(const std::string& file, const wxSize& size, int attempts,
                        wxImage* screen, wxRect* window) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (RunCommand("import -window root " + ShellQuote(file)) == 0 && screen->LoadFile(file)) {
      *window = DrawnArea(*screen);
      const bool sized = size == wxDefaultSize ? !window->IsEmpty() : window->GetSize() == size;
      if (sized && FullyDrawn(*screen, *window)) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool IsRunning(const std::string& pid) { return RunCommand("kill -0 " + pid) == 0; }

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
  for (int attempt = 0; attempt < 100 && IsRunning(pid); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (IsRunning(pid)) RunCommand("kill -9 " + pid);
}

std::string ScreenshotFile(const std::string& name) {
  const std::string shotDir = app_test::BinaryDir() + "/screenshots";
  std::filesystem::create_directories(shotDir);
  return shotDir + "/" + name;
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
