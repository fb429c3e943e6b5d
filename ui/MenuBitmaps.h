// Colour and bitmap helpers of the menu item drawing. Components run from 0
// to 255; results are truncated to integers. Each bitmap function treats one
// colour as transparent (the image's mask colour, else its top-left pixel),
// changes every other pixel and returns a new bitmap of the source's depth
// with that colour as its mask.
#pragma once

#include <wx/bitmap.h>
#include <wx/colour.h>

class wxDC;
class wxRect;

// For 0 < f <= 1 each component c becomes c + (255 - c) * f; else unchanged.
wxColour LightenColour(const wxColour& colour, double f);
// For 0 < f <= 1 each component c becomes c - c * f; else unchanged.
wxColour DarkenColour(const wxColour& colour, double f);

// The bitmap with its transparent colour masked.
wxBitmap MaskedBitmap(const wxBitmap& bitmap);
// Each pixel lightened by 0.3: a bitmap that is not highlighted.
wxBitmap FadedBitmap(const wxBitmap& bitmap);
// Each pixel the button shadow colour lightened by its brightness / 255:
// the silhouette of a disabled item.
wxBitmap GreyedBitmap(const wxBitmap& bitmap);
// Each pixel the button shadow colour: the shadow under a raised bitmap.
wxBitmap ShadowBitmap(const wxBitmap& bitmap);

// Fills exactly the pixels of `box` with `fill` and draws its outermost
// pixels in `frame` (device contexts differ in how far an outlined rectangle
// reaches, so the frame is drawn as four lines).
void DrawFramedBox(wxDC& dc, const wxRect& box, const wxColour& fill, const wxColour& frame);
// A check mark 7 pixels wide and 6 high, 2 thick, with its top left at (x, y).
void DrawCheckMark(wxDC& dc, int x, int y, const wxColour& colour);
// A framed light box (lighter when not selected) with a check mark centred in it.
void DrawCheckBox(wxDC& dc, const wxRect& box, bool selected);
