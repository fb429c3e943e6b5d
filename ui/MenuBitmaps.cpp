#include "ui/MenuBitmaps.h"

#include <functional>

#include <wx/dc.h>
#include <wx/image.h>
#include <wx/pen.h>
#include <wx/settings.h>

namespace {

unsigned char Lighten(unsigned char c, double f) {
  return static_cast<unsigned char>(c + (255 - c) * f);
}

unsigned char Darken(unsigned char c, double f) { return static_cast<unsigned char>(c - c * f); }

// Applies `change` to every pixel that is not the transparent colour.
wxBitmap Recolour(const wxBitmap& bitmap,
                  const std::function<wxColour(const wxColour&)>& change) {
  if (!bitmap.IsOk()) return wxBitmap();
  wxImage image = bitmap.ConvertToImage();
  if (image.HasAlpha()) image.ConvertAlphaToMask();
  const wxColour transparent =
      image.HasMask() ? wxColour(image.GetMaskRed(), image.GetMaskGreen(), image.GetMaskBlue())
                      : wxColour(image.GetRed(0, 0), image.GetGreen(0, 0), image.GetBlue(0, 0));
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      const wxColour pixel(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
      if (pixel == transparent) continue;
      const wxColour changed = change(pixel);
      image.SetRGB(x, y, changed.Red(), changed.Green(), changed.Blue());
    }
  }
  image.SetMaskColour(transparent.Red(), transparent.Green(), transparent.Blue());
  return wxBitmap(image, bitmap.GetDepth());
}

wxColour Shadow() { return wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW); }

}  // namespace

wxColour LightenColour(const wxColour& colour, double f) {
  if (f <= 0 || f > 1) return colour;
  return wxColour(Lighten(colour.Red(), f), Lighten(colour.Green(), f), Lighten(colour.Blue(), f));
}

wxColour DarkenColour(const wxColour& colour, double f) {
  if (f <= 0 || f > 1) return colour;
  return wxColour(Darken(colour.Red(), f), Darken(colour.Green(), f), Darken(colour.Blue(), f));
}

wxBitmap MaskedBitmap(const wxBitmap& bitmap) {
  return Recolour(bitmap, [](const wxColour& pixel) { return pixel; });
}

wxBitmap FadedBitmap(const wxBitmap& bitmap) {
  return Recolour(bitmap, [](const wxColour& pixel) { return LightenColour(pixel, 0.3); });
}

wxBitmap GreyedBitmap(const wxBitmap& bitmap) {
  const wxColour shadow = Shadow();
  return Recolour(bitmap, [&](const wxColour& pixel) {
    const int brightness = (pixel.Red() + pixel.Green() + pixel.Blue()) / 3;
    return LightenColour(shadow, brightness / 255.0);
  });
}

wxBitmap ShadowBitmap(const wxBitmap& bitmap) {
  const wxColour shadow = Shadow();
  return Recolour(bitmap, [&](const wxColour&) { return shadow; });
}

void DrawFramedBox(wxDC& dc, const wxRect& box, const wxColour& fill, const wxColour& frame) {
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(fill));
  dc.DrawRectangle(box);
  wxPen pen(frame);
  pen.SetCap(wxCAP_BUTT);
  dc.SetPen(pen);
  const int left = box.GetLeft(), top = box.GetTop();
  const int right = box.GetRight(), bottom = box.GetBottom();
  dc.DrawLine(left, top, right + 1, top);
  dc.DrawLine(left, bottom, right + 1, bottom);
  dc.DrawLine(left, top, left, bottom + 1);
  dc.DrawLine(right, top, right, bottom + 1);
}

void DrawCheckMark(wxDC& dc, int x, int y, const wxColour& colour) {
  static const int kTop[] = {2, 3, 4, 3, 2, 1, 0};
  wxPen pen(colour);
  pen.SetCap(wxCAP_BUTT);
  dc.SetPen(pen);
  for (int i = 0; i < 7; ++i) dc.DrawLine(x + i, y + kTop[i], x + i, y + kTop[i] + 2);
}

void DrawCheckBox(wxDC& dc, const wxRect& box, bool selected) {
  const wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
  DrawFramedBox(dc, box, LightenColour(highlight, selected ? 0.55 : 0.85), highlight);
  const int dx = box.GetWidth() < 6 ? 0 : box.GetWidth() / 2 - 3;
  const int dy = box.GetHeight() < 6 ? 0 : box.GetHeight() / 2 - 3;
  DrawCheckMark(dc, box.GetLeft() + dx, box.GetTop() + dy,
                wxSystemSettings::GetColour(wxSYS_COLOUR_MENUTEXT));
}
