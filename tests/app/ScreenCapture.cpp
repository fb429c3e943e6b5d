#include "tests/app/ScreenCapture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/app/AppTestSupport.h"

namespace app_test {

namespace {

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

// Black is the background, so a window that is still being drawn has black
// patches; black text on it covers far less than 2 % of its area.
bool FullyDrawn(const wxImage& screen, const wxRect& area) {
  int samples = 0, black = 0;
  for (int y = area.GetTop(); y <= area.GetBottom(); y += 3) {
    for (int x = area.GetLeft(); x <= area.GetRight(); x += 3) {
      ++samples;
      if (IsBlack(screen, x, y)) ++black;
    }
  }
  return black * 50 < samples;
}

}  // namespace

std::string ScreenshotFile(const std::string& name) {
  const std::string shotDir = BinaryDir() + "/screenshots";
  std::filesystem::create_directories(shotDir);
  return shotDir + "/" + name;
}

bool CaptureDrawnWindow(const std::string& file, const wxSize& size, int attempts,
                        wxImage* screen, wxRect* area, const std::function<void()>& pause) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (testing_support::RunCommand("import -window root " + testing_support::ShellQuote(file)) ==
            0 &&
        screen->LoadFile(file)) {
      *area = DrawnArea(*screen);
      const bool sized = size == wxDefaultSize ? !area->IsEmpty() : area->GetSize() == size;
      if (sized && FullyDrawn(*screen, *area)) return true;
    }
    if (pause) {
      pause();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  return false;
}

}  // namespace app_test
