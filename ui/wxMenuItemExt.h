// A menu item that can measure and draw itself: a shaded column at the left
// holds its bitmap, the selected item gets a light highlight box with a frame,
// checked items a framed box behind their bitmap or a drawn check mark,
// disabled bitmaps show as tinted silhouettes and separators as thin lines.
// The look comes from a few system colours, not from the menu theme.
//
// GTK draws menus itself and cannot hand an item's drawing to the program, so
// on this platform the item shows its bitmap natively; the measuring and
// drawing below are portable and work on any device context.
#pragma once

#include <cstddef>

#include <wx/font.h>
#include <wx/menuitem.h>

class wxDC;
class wxRect;

class wxMenuItemExt : public wxMenuItem {
 public:
  // What a draw request is about.
  enum DrawAction { kDrawAll, kSelectChanged, kFocusChanged };
  // State bits of a draw request.
  enum DrawStatus { kSelected = 0x01, kGrayed = 0x02, kChecked = 0x08 };

  // Gap the toolkit keeps right of the text for a submenu arrow.
  static constexpr int kDefaultMarginWidth = 16;

  wxMenuItemExt(wxMenu* parent, int id, const wxString& label,
                const wxString& help = wxString(), wxItemKind kind = wxITEM_NORMAL,
                wxMenu* subMenu = nullptr);

  const wxFont& GetFont() const { return font_; }
  void SetFont(const wxFont& font) { font_ = font; }

  // The item's size; widens the bitmap column of every item drawn afterwards
  // when its bitmap needs more room. Always true.
  bool OnMeasureItem(size_t* width, size_t* height);

  // Draws the item into a memory bitmap of `rect`'s size and copies it onto
  // `dc` at `rect`. `status` holds DrawStatus bits. Always true.
  bool OnDrawItem(wxDC& dc, const wxRect& rect, DrawAction action, long status);

  // The width of the bitmap column all items are drawn with.
  static int WidestMargin();

 private:
  void DrawBackground(wxDC& dc, const wxSize& size, bool selected) const;
  void DrawSeparator(wxDC& dc, const wxSize& size) const;
  void DrawBitmapColumn(wxDC& dc, const wxSize& size, bool selected, bool grayed,
                        bool checked) const;
  void DrawText(wxDC& dc, const wxSize& size, bool grayed) const;

  int marginWidth_;
  wxFont font_;
};
