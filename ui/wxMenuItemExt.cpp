#include "ui/wxMenuItemExt.h"

#include <algorithm>

#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/settings.h>

#include "ui/MenuBitmaps.h"

namespace {

// The smallest bitmap room of an item, and the room around a bitmap.
const int kMinBitmapSize = 16;
const int kBitmapGap = 7;
// Between the bitmap column and the text.
const int kTextGap = 8;
const int kSeparatorHeight = 3;

// Process-wide values, taken from the system when the first item is made.
struct MenuMetrics {
  int systemMenuHeight;
  wxFont menuFont;

  static const MenuMetrics& Get() {
    static const MenuMetrics metrics{
        std::max(wxSystemSettings::GetMetric(wxSYS_MENU_Y), 0),
        wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT)};
    return metrics;
  }
};

int widestMargin = 0;

wxColour System(wxSystemColour index) { return wxSystemSettings::GetColour(index); }

void Fill(wxDC& dc, const wxRect& rect, const wxColour& fill, const wxColour& outline) {
  DrawFramedBox(dc, rect, fill, outline);
}

// The label as shown, and its accelerator ("Ctrl+N"), empty when it has none.
wxString ShownLabel(const wxString& label) { return wxStripMenuCodes(label, wxStrip_All); }

wxString Accelerator(const wxString& label) {
  const int tab = label.Find('\t');
  return tab == wxNOT_FOUND ? wxString() : label.Mid(tab + 1);
}

wxSize BitmapRoom(const wxBitmap& bitmap) {
  wxSize room(kMinBitmapSize, kMinBitmapSize);
  if (bitmap.IsOk()) room.IncTo(bitmap.GetSize());
  return room;
}

// Half rounded up, never below 0.
int CentredOffset(int outer, int inner) { return std::max((outer - inner + 1) / 2, 0); }

}  // namespace

wxMenuItemExt::wxMenuItemExt(wxMenu* parent, int id, const wxString& label,
                             const wxString& help, wxItemKind kind, wxMenu* subMenu)
    : wxMenuItem(parent, id, label, help, kind, subMenu),
      marginWidth_(MenuMetrics::Get().systemMenuHeight),
      font_(MenuMetrics::Get().menuFont.IsOk() ? MenuMetrics::Get().menuFont
                                               : *wxNORMAL_FONT) {}

int wxMenuItemExt::WidestMargin() { return widestMargin; }

bool wxMenuItemExt::OnMeasureItem(size_t* width, size_t* height) {
  const wxString label = GetItemLabel();
  if (label.empty()) {
    *width = 0;
    *height = kSeparatorHeight;
    return true;
  }
  wxString text = ShownLabel(label);
  const wxString accelerator = Accelerator(label);
  if (!accelerator.empty()) text += " " + accelerator;
  wxMemoryDC dc;
  dc.SetFont(font_);
  const wxSize room = BitmapRoom(GetBitmap());
  const int needed = room.GetWidth() + kBitmapGap;
  marginWidth_ = std::max(marginWidth_, needed);
  widestMargin = std::max(widestMargin, needed);
  *width = static_cast<size_t>(dc.GetTextExtent(text).GetWidth() + marginWidth_ + kTextGap +
                               kDefaultMarginWidth);
  *height = static_cast<size_t>(
      std::max(MenuMetrics::Get().systemMenuHeight, room.GetHeight() + kBitmapGap));
  return true;
}

bool wxMenuItemExt::OnDrawItem(wxDC& dc, const wxRect& rect, DrawAction action, long status) {
  if (action == kFocusChanged) return true;
  const bool grayed = (status & kGrayed) != 0;
  const bool selected = (status & kSelected) != 0 && !grayed;
  const bool checked = (status & kChecked) != 0;
  const wxSize size = rect.GetSize();
  wxBitmap canvas(size);
  {
    wxMemoryDC memory(canvas);
    // Lines and boxes fall on whole pixels.
    if (wxGraphicsContext* context = memory.GetGraphicsContext()) {
      context->SetAntialiasMode(wxANTIALIAS_NONE);
    }
    if (GetItemLabel().empty()) {
      DrawSeparator(memory, size);
    } else {
      DrawBackground(memory, size, selected);
      DrawBitmapColumn(memory, size, selected, grayed, checked);
      DrawText(memory, size, grayed);
    }
  }
  dc.DrawBitmap(canvas, rect.GetTopLeft(), false);
  return true;
}

void wxMenuItemExt::DrawSeparator(wxDC& dc, const wxSize& size) const {
  const wxColour face = System(wxSYS_COLOUR_BTNFACE);
  const wxColour back = DarkenColour(System(wxSYS_COLOUR_WINDOW), 0.02);
  const int column = widestMargin;
  Fill(dc, wxRect(size), back, back);
  const int y = size.GetHeight() / 2;
  wxPen pen(back);
  pen.SetCap(wxCAP_BUTT);
  dc.SetPen(pen);
  dc.DrawLine(column + kTextGap, y - 1, size.GetWidth(), y - 1);
  pen.SetColour(face);
  dc.SetPen(pen);
  dc.DrawLine(column + kTextGap, y, size.GetWidth(), y);
  Fill(dc, wxRect(0, 0, column + 1, size.GetHeight()), face, face);
}

void wxMenuItemExt::DrawBackground(wxDC& dc, const wxSize& size, bool selected) const {
  const wxColour highlight = System(wxSYS_COLOUR_HIGHLIGHT);
  if (selected) {
    Fill(dc, wxRect(size), LightenColour(highlight, 0.7), highlight);
    return;
  }
  const wxColour face = System(wxSYS_COLOUR_BTNFACE);
  const wxColour back = DarkenColour(System(wxSYS_COLOUR_WINDOW), 0.02);
  Fill(dc, wxRect(size), back, back);
  Fill(dc, wxRect(0, 0, widestMargin + 1, size.GetHeight()), face, face);
}

void wxMenuItemExt::DrawBitmapColumn(wxDC& dc, const wxSize& size, bool selected, bool grayed,
                                     bool checked) const {
  const int column = widestMargin;
  const wxRect box(wxPoint(1, 1), wxPoint(column - 2, size.GetHeight() - 2));
  const wxBitmap& bitmap = GetBitmap();
  const bool hasBitmap = bitmap.IsOk();
  const int ox = hasBitmap ? CentredOffset(column, bitmap.GetWidth()) : 0;
  const int oy = hasBitmap ? CentredOffset(size.GetHeight(), bitmap.GetHeight()) : 0;
  const wxColour highlight = System(wxSYS_COLOUR_HIGHLIGHT);
  if (selected && !checked) {
    const wxColour light = LightenColour(highlight, 0.7);
    Fill(dc, box, light, light);
    if (!hasBitmap) return;
    dc.DrawBitmap(ShadowBitmap(bitmap), ox + 1, oy + 1, true);
    dc.DrawBitmap(MaskedBitmap(bitmap), ox - 1, oy - 1, true);
  } else if (selected) {
    Fill(dc, box, LightenColour(highlight, 0.55), highlight);
    if (hasBitmap) {
      dc.DrawBitmap(bitmap, ox - 1, oy - 1, true);
    } else {
      DrawCheckBox(dc, box, true);
    }
  } else if (grayed) {
    if (hasBitmap) {
      dc.DrawBitmap(GreyedBitmap(bitmap), ox, oy, true);
    } else if (checked) {
      DrawCheckBox(dc, box, false);
    }
  } else if (checked) {
    if (hasBitmap) {
      Fill(dc, box, LightenColour(highlight, 0.85), highlight);
      dc.DrawBitmap(MaskedBitmap(bitmap), ox - 1, oy - 1, true);
    } else {
      DrawCheckBox(dc, box, false);
    }
  } else if (hasBitmap) {
    const wxColour face = System(wxSYS_COLOUR_BTNFACE);
    Fill(dc, box, face, face);
    dc.DrawBitmap(FadedBitmap(bitmap), ox, oy, true);
  }
}

void wxMenuItemExt::DrawText(wxDC& dc, const wxSize& size, bool grayed) const {
  const wxString label = GetItemLabel();
  const wxRect text(wxPoint(widestMargin + kTextGap, 0),
                    wxPoint(size.GetWidth() - kDefaultMarginWidth, size.GetHeight() - 2));
  dc.SetFont(font_);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.SetTextForeground(System(grayed ? wxSYS_COLOUR_GRAYTEXT : wxSYS_COLOUR_MENUTEXT));
  const wxString beforeTab = label.BeforeFirst('\t');
  const int ampersand = beforeTab.Find('&');
  dc.DrawLabel(ShownLabel(label), text, wxALIGN_LEFT | wxALIGN_CENTER_VERTICAL,
               ampersand == wxNOT_FOUND ? -1 : ampersand);
  const wxString accelerator = Accelerator(label);
  if (!accelerator.empty()) {
    dc.DrawLabel(accelerator, text, wxALIGN_RIGHT | wxALIGN_CENTER_VERTICAL);
  }
}
