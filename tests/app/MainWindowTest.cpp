// The windowed start as a process on a real (virtual) display: a window
// appears, fully drawn, and the program stays in its main loop. Screenshots
// of the screen are kept in the build tree.
#include <gtest/gtest.h>

#include <wx/image.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/app/AppTestSupport.h"

namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

// The bounding box of everything that is not the black background; empty
// while a pixel inside it is still black (the window not fully drawn).
wxRect DrawnWindow(const wxImage& screen) {
  const auto black = [&](int x, int y) {
    return screen.GetRed(x, y) == 0 && screen.GetGreen(x, y) == 0 && screen.GetBlue(x, y) == 0;
  };
  wxRect box;
  for (int y = 0; y < screen.GetHeight(); ++y) {
    for (int x = 0; x < screen.GetWidth(); ++x) {
      if (!black(x, y)) box.Union(wxRect(x, y, 1, 1));  // an empty box is ignored
    }
  }
  for (int y = box.GetTop(); y <= box.GetBottom(); y += 3) {
    for (int x = box.GetLeft(); x <= box.GetRight(); x += 3) {
      if (black(x, y)) return wxRect();
    }
  }
  return box;
}

struct WindowedStart {
  wxImage screen;
  wxRect window;       // empty when none of the size asked for was drawn within 10 s
  bool running;        // still in its main loop then
  std::string output;  // stdout and stderr
};

// Starts `program` in `directory` and takes screenshots into `screenshot`
// until a window of `size` (any, by default) is on the screen, fully drawn;
// the program is killed afterwards.
WindowedStart StartWindowed(const std::string& program, const std::string& directory,
                            const std::string& screenshot, const wxSize& size = wxDefaultSize) {
  app_test::ChildProcess process(app_test::ProgramCommand(directory, ">output.txt 2>&1", program),
                                 directory);
  WindowedStart start;
  for (int attempt = 0; attempt < 100 && start.window.IsEmpty(); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (RunCommand("import -window root " + ShellQuote(screenshot)) == 0 &&
        start.screen.LoadFile(screenshot, wxBITMAP_TYPE_PNG)) {
      start.window = DrawnWindow(start.screen);
    }
    if (size != wxDefaultSize && start.window.GetSize() != size) start.window = wxRect();
  }
  start.running = process.Wait(0) == -1;
  start.output = testing_support::ReadFile(directory + "/output.txt");
  app_test::ExpectNoGtkWarnings(start.output);
  return start;
}

TEST(MainWindowTest, MainWindowAlone) {
  testing_support::TempDir cwd;
  const auto start = StartWindowed(app_test::Program(), cwd.path(),
                                   app_test::ScreenshotFile("main-window.png"), wxSize(500, 350));
  ASSERT_FALSE(start.window.IsEmpty()) << start.output;
  EXPECT_TRUE(start.running);
  EXPECT_EQ("", start.output);
  // Centred on the screen.
  EXPECT_NEAR(start.screen.GetWidth() / 2, start.window.GetX() + start.window.GetWidth() / 2, 2);
  EXPECT_NEAR(start.screen.GetHeight() / 2, start.window.GetY() + start.window.GetHeight() / 2, 2);
}

TEST(MainWindowTest, MissingArchiveIsReportedInAMessageBox) {
  testing_support::TempDir cwd;
  const std::string lone = cwd / "arkivault";
  for (const char* program : {"arkivault", "arkivault-gui"}) {
    std::filesystem::copy_file(app_test::BinaryDir() + "/" + program, cwd / program);
  }
  const auto start =
      StartWindowed(lone, cwd.path(), app_test::ScreenshotFile("missing-archive.png"));
  ASSERT_FALSE(start.window.IsEmpty()) << start.output;
  EXPECT_NE(wxSize(500, 350), start.window.GetSize());  // not the main window
  EXPECT_TRUE(start.running);  // it waits for the box to be closed
}

}  // namespace
