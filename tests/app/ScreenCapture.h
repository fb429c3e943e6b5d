// Screenshots of the (virtual) display for the window tests. The screen is
// black where no window is; the shots are kept in the build tree's
// "screenshots" directory for people to look at.
#pragma once

#include <functional>
#include <string>

#include <wx/gdicmn.h>
#include <wx/image.h>

namespace app_test {

// The path of screenshot `name` in the build tree.
std::string ScreenshotFile(const std::string& name);

// Takes screenshots into `file`, up to `attempts` of them with `pause` between
// two, until the windows on the screen cover an area of `size` (any size for
// wxDefaultSize) without a black patch left in it. `screen` gets the last
// shot and `area` the bounding box of everything drawn on it.
bool CaptureDrawnWindow(const std::string& file, const wxSize& size, int attempts,
                        wxImage* screen, wxRect* area,
                        const std::function<void()>& pause = nullptr);

}  // namespace app_test
