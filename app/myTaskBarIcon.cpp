#include "app/myTaskBarIcon.h"

const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_MOVE(wxEVT_TASKBAR_MOVE);
const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_LEFT_DOWN(wxEVT_TASKBAR_LEFT_DOWN);
const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_LEFT_UP(wxEVT_TASKBAR_LEFT_UP);
const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_RIGHT_DOWN(wxEVT_TASKBAR_RIGHT_DOWN);
const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_RIGHT_UP(wxEVT_TASKBAR_RIGHT_UP);
const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_LEFT_DCLICK(wxEVT_TASKBAR_LEFT_DCLICK);
const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_RIGHT_DCLICK(wxEVT_TASKBAR_RIGHT_DCLICK);

namespace {

// Shared by every icon of the process: true while one of them shows a menu.
bool popupOpen = false;

}  // namespace

myTaskBarIcon::~myTaskBarIcon() { RemoveIcon(); }

bool myTaskBarIcon::SetIcon(const wxBitmapBundle& icon, const wxString& tooltip) {
  if (!icon.IsOk()) return false;
  const wxString shown = tooltip.Left(kTooltipLimit);
  if (!wxTaskBarIcon::SetIcon(icon, shown)) return false;
  icon_ = icon;
  tooltip_ = shown;
  added_ = true;
  return true;
}

bool myTaskBarIcon::RemoveIcon() {
  if (!added_) return false;
  added_ = false;
  return wxTaskBarIcon::RemoveIcon();
}

bool myTaskBarIcon::PopupMenu(wxMenu* menu) {
  if (popupOpen) return false;
  popupOpen = true;
  const bool shown = wxTaskBarIcon::PopupMenu(menu);
  popupOpen = false;
  return shown;
}
