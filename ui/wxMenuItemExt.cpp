#include "ui/wxMenuItemExt.h"

#include <wx/settings.h>

wxMenuItemExt::wxMenuItemExt(wxMenu* parent, int id, const wxString& label,
                             const wxString& help, wxItemKind kind, wxMenu* subMenu)
    : wxMenuItem(parent, id, label, help, kind, subMenu),
      font_(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT)) {}
