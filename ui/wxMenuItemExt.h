// A menu item with a bitmap and a font of its own. GTK draws menus itself, so
// on this platform the item shows its bitmap natively.
#pragma once

#include <wx/font.h>
#include <wx/menuitem.h>

class wxMenuItemExt : public wxMenuItem {
 public:
  wxMenuItemExt(wxMenu* parent, int id, const wxString& label,
                const wxString& help = wxString(), wxItemKind kind = wxITEM_NORMAL,
                wxMenu* subMenu = nullptr);

  const wxFont& GetFont() const { return font_; }
  void SetFont(const wxFont& font) { font_ = font; }

 private:
  wxFont font_;
};
