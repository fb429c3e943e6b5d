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
// of `size` is on the screen and drawn (no black pixel left in it).
bool CaptureDrawnWindow(const std::string& file, const wxSize& size, int attempts,
                        wxImage* screen, wxRect* window) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (RunCommand("import -window root " + ShellQuote(file)) == 0 && screen->LoadFile(file)) {
      *window = DrawnArea(*screen);
      if (window->GetSize() == size && FullyDrawn(*screen, *window)) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool IsRunning(const std::string& pid) { return RunCommand("kill -0 " + pid) == 0; }

TEST(MainWindowTest, InteractiveStartShowsTheMainWindow) {
  testing_support::TempDir cwd;
  std::string pid;
  ASSERT_EQ(0, RunCommand("cd " + ShellQuote(cwd.path()) + " && " +
                              ShellQuote(app_test::Program()) + " >output.txt 2>&1 & echo $!",
                          &pid));
  pid = pid.substr(0, pid.find('\n'));

  const std::string shotDir = app_test::BinaryDir() + "/screenshots";
  std::filesystem::create_directories(shotDir);
  wxImage screen;
  wxRect window;
  const bool shown =
      CaptureDrawnWindow(shotDir + "/main-window.png", wxSize(500, 350), 100, &screen, &window);
  const bool running = IsRunning(pid);

  RunCommand("kill " + pid);
  for (int attempt = 0; attempt < 100 && IsRunning(pid); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (IsRunning(pid)) RunCommand("kill -9 " + pid);

  ASSERT_TRUE(shown) << "window area " << window.GetWidth() << "x" << window.GetHeight() << "; "
                     << testing_support::ReadFile(cwd / "output.txt");
  EXPECT_TRUE(running);
  // The window is the only thing on the screen, centred on it.
  EXPECT_NEAR(screen.GetWidth() / 2, window.GetX() + window.GetWidth() / 2, 2);
  EXPECT_NEAR(screen.GetHeight() / 2, window.GetY() + window.GetHeight() / 2, 2);
  EXPECT_EQ("", testing_support::ReadFile(cwd / "output.txt"));
}

}  // namespace
