// Menu items measured and drawn into memory bitmaps, checked pixel by pixel
// against the system colours they are drawn from.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/settings.h>

#include "tests/app/AppTestSupport.h"
#include "ui/MenuBitmaps.h"
#include "ui/wxMenuItemExt.h"

namespace {

const auto* const kToolkit = ::testing::AddGlobalTestEnvironment(new app_test::ToolkitEnvironment);

wxColour System(wxSystemColour index) { return wxSystemSettings::GetColour(index); }
wxColour Face() { return System(wxSYS_COLOUR_BTNFACE); }
wxColour Back() { return DarkenColour(System(wxSYS_COLOUR_WINDOW), 0.02); }
wxColour Highlight() { return System(wxSYS_COLOUR_HIGHLIGHT); }

const wxColour kInk(90, 120, 150);

// A square of `size` pixels in kInk with a border of one pixel in the
// transparent colour (magenta).
wxBitmap Picture(int size) {
  wxImage image(size, size);
  image.SetRGB(wxRect(0, 0, size, size), 255, 0, 255);
  image.SetRGB(wxRect(1, 1, size - 2, size - 2), kInk.Red(), kInk.Green(), kInk.Blue());
  return wxBitmap(image);
}

// Menu items drawn at 200 x `height` pixels.
class MenuItemDrawingTest : public ::testing::Test {
 protected:
  wxMenuItemExt& Item(const wxString& label, const wxBitmap& bitmap = wxBitmap()) {
    auto* item = label.empty()
                     ? new wxMenuItemExt(&menu, wxID_SEPARATOR, label, wxString(), wxITEM_SEPARATOR)
                     : new wxMenuItemExt(&menu, wxID_ANY, label);
    if (bitmap.IsOk()) item->SetBitmap(bitmap);
    menu.Append(item);
    return *item;
  }

  wxImage Draw(wxMenuItemExt& item, long status, int height = 24) {
    wxBitmap target(200, height);
    {
      wxMemoryDC dc(target);
      item.OnDrawItem(dc, wxRect(0, 0, 200, height), wxMenuItemExt::kDrawAll, status);
    }
    return target.ConvertToImage();
  }

  static wxColour Pixel(const wxImage& image, int x, int y) {
    return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
  }

  wxMenu menu;
};

#define EXPECT_PIXEL(colour, image, x, y) \
  EXPECT_EQ((colour).GetAsString(wxC2S_HTML_SYNTAX), Pixel(image, x, y).GetAsString(wxC2S_HTML_SYNTAX)) \
      << "at " << (x) << "," << (y)

TEST(MenuColourTest, LightenAndDarken) {
  const wxColour c(100, 200, 0);
  EXPECT_EQ(wxColour(146, 216, 76), LightenColour(c, 0.3));
  EXPECT_EQ(wxColour(70, 140, 0), DarkenColour(c, 0.3));
  for (double outside : {0.0, -0.5, 1.5}) {
    EXPECT_EQ(c, LightenColour(c, outside));
    EXPECT_EQ(c, DarkenColour(c, outside));
  }
  EXPECT_EQ(wxColour(255, 255, 255), LightenColour(c, 1.0));
}

// All in one test: the bitmap column is shared by every item of the process
// and only ever widens.
TEST_F(MenuItemDrawingTest, MeasureAndDraw) {
  size_t width = 0, height = 0;
  wxMenuItemExt& separator = Item("");
  separator.OnMeasureItem(&width, &height);
  EXPECT_EQ(0u, width);
  EXPECT_EQ(3u, height);
  wxMenuItemExt& plain = Item("&New\tCtrl+N", Picture(16));
  wxMenuItemExt& bare = Item("Chec&k");
  plain.OnMeasureItem(&width, &height);
  EXPECT_GE(height, 23u);
  EXPECT_EQ(23, wxMenuItemExt::WidestMargin());
  const size_t plainWidth = width;
  bare.OnMeasureItem(&width, &height);
  EXPECT_LT(width, plainWidth);  // no accelerator text

  const wxImage line = Draw(separator, 0, 3), normal = Draw(plain, 0),
                disabled = Draw(plain, wxMenuItemExt::kGrayed),
                selected = Draw(plain, wxMenuItemExt::kSelected),
                checked = Draw(bare, wxMenuItemExt::kChecked);
  const int brightness = (kInk.Red() + kInk.Green() + kInk.Blue()) / 3;
  const struct { const wxImage& image; int x, y; wxColour colour; } pixels[] = {
      // Separator: back, then its two lines from 8 pixels right of the column.
      {line, 23, 1, Face()}, {line, 30, 1, Back()}, {line, 31, 1, Face()}, {line, 199, 1, Face()},
      // Not selected: the filled column is 24 pixels wide (0 to 23); the faded
      // bitmap sits centred in a face-filled box.
      {normal, 23, 1, Face()}, {normal, 24, 1, Back()}, {normal, 4, 4, Face()},
      {normal, 10, 12, LightenColour(kInk, 0.3)},
      // Disabled: the greyed silhouette.
      {disabled, 10, 12, LightenColour(System(wxSYS_COLOUR_BTNSHADOW), brightness / 255.0)},
      // Selected: light highlight inside a highlight frame; the bitmap raised
      // (moved up-left) over its shadow (down-right).
      {selected, 0, 0, Highlight()}, {selected, 199, 23, Highlight()},
      {selected, 100, 1, LightenColour(Highlight(), 0.7)}, {selected, 4, 4, kInk},
      {selected, 19, 19, System(wxSYS_COLOUR_BTNSHADOW)},
      // Checked, no bitmap: a framed light box with the check mark below.
      {checked, 1, 1, Highlight()}, {checked, 2, 2, LightenColour(Highlight(), 0.85)},
  };
  for (const auto& p : pixels) EXPECT_PIXEL(p.colour, p.image, p.x, p.y);
  // Disabled and selected is drawn as disabled.
  const wxImage disabledSelected = Draw(plain, wxMenuItemExt::kGrayed | wxMenuItemExt::kSelected);
  EXPECT_TRUE(memcmp(disabled.GetData(), disabledSelected.GetData(), 200 * 24 * 3) == 0);

  // The check mark centred in the column (box 1..21 x 1..22: mark at 1 + 7, 1 + 8).
  const wxColour ink = System(wxSYS_COLOUR_MENUTEXT);
  const int markX = 8, markY = 9;
  const int tops[] = {2, 3, 4, 3, 2, 1, 0};
  for (int i = 0; i < 7; ++i) {
    EXPECT_PIXEL(ink, checked, markX + i, markY + tops[i]);
    EXPECT_PIXEL(ink, checked, markX + i, markY + tops[i] + 1);
    EXPECT_PIXEL(LightenColour(Highlight(), 0.85), checked, markX + i, markY + tops[i] + 2);
  }

  // A 24-pixel bitmap widens the column of every item drawn afterwards.
  Item("&Wide", Picture(24)).OnMeasureItem(&width, &height);
  EXPECT_EQ(31, wxMenuItemExt::WidestMargin());
  EXPECT_EQ(31u, height);
  const wxImage wider = Draw(plain, 0);
  EXPECT_PIXEL(Face(), wider, 31, 1);
  EXPECT_PIXEL(Back(), wider, 32, 1);

  // The states one under the other, for people to look at.
  const wxImage rows[] = {normal, selected, line, disabled, checked,
                          Draw(bare, wxMenuItemExt::kChecked | wxMenuItemExt::kSelected)};
  wxImage sheet(200, 5 * 24 + 3);
  int y = 0;
  for (const wxImage& row : rows) sheet.Paste(row, 0, y), y += row.GetHeight();
  EXPECT_TRUE(sheet.SaveFile(app_test::ScreenshotFile("menu-items.png"), wxBITMAP_TYPE_PNG));
}

}  // namespace
