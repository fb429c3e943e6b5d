// The interactive start as a process on a real (virtual) display: the main
// window appears with its layout and the program stays in its main loop. A
// screenshot of the screen is kept in the build tree for people to look at.
#include <gtest/gtest.h>

#include <wx/image.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/app/AppTestSupport.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

struct Geometry {
  int width = 0, height = 0, x = 0, y = 0;
};

// Asks the X server, up to `attempts` times, for the top-level window titled
// "Arkivault" that the program `pid` maps.
bool FindMainWindow(int attempts, Geometry* geometry) {
  const std::regex line(R"re("Arkivault": \("arkivault" "Arkivault"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+))re");
  for (int attempt = 0; attempt < attempts; ++attempt) {
    std::string tree;
    RunCommand("xwininfo -root -tree", &tree);
    std::smatch match;
    if (std::regex_search(tree, match, line)) {
      *geometry = {std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]),
                   std::stoi(match[4])};
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// A screenshot once the window is drawn: no pixel of its area is still black.
bool CaptureDrawnWindow(const std::string& file, const Geometry& window, int attempts,
                        wxImage* shot) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (RunCommand("import -window root " + ShellQuote(file)) == 0 && shot->LoadFile(file)) {
      bool drawn = true;
      for (int y = window.y; drawn && y < window.y + window.height; y += 7) {
        for (int x = window.x; drawn && x < window.x + window.width; x += 7) {
          drawn = shot->GetRed(x, y) + shot->GetGreen(x, y) + shot->GetBlue(x, y) > 0;
        }
      }
      if (drawn) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

bool IsRunning(const std::string& pid) { return RunCommand("kill -0 " + pid) == 0; }

TEST(MainWindowTest, InteractiveStartShowsTheMainWindow) {
  testing_support::TempDir cwd;
  std::string pid;
  ASSERT_EQ(0, RunCommand("cd " + ShellQuote(cwd.path()) + " && " + ShellQuote(app_test::Program()) +
                              " >output.txt 2>&1 & echo $!",
                          &pid));
  pid = pid.substr(0, pid.find('\n'));

  Geometry window;
  const bool shown = FindMainWindow(300, &window);
  wxImage shot;
  const std::string shotDir = app_test::BinaryDir() + "/screenshots";
  std::filesystem::create_directories(shotDir);
  const bool drawn = shown && CaptureDrawnWindow(shotDir + "/main-window.png", window, 50, &shot);
  const bool running = IsRunning(pid);

  RunCommand("kill " + pid);
  for (int attempt = 0; attempt < 100 && IsRunning(pid); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (IsRunning(pid)) RunCommand("kill -9 " + pid);

  ASSERT_TRUE(shown) << testing_support::ReadFile(cwd / "output.txt");
  EXPECT_TRUE(running);
  EXPECT_EQ(500, window.width);
  EXPECT_EQ(350, window.height);
  ASSERT_TRUE(drawn);
  // Centred on the screen.
  EXPECT_NEAR(shot.GetWidth() / 2, window.x + window.width / 2, 2);
  EXPECT_NEAR(shot.GetHeight() / 2, window.y + window.height / 2, 2);
  EXPECT_EQ("", testing_support::ReadFile(cwd / "output.txt"));
}

}  // namespace
