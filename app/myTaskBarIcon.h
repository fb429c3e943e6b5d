// The program's icon in the notification area, on the toolkit's task-bar icon
// (a status icon in the freedesktop.org system tray on Linux). It keeps the
// icon and tooltip last set and whether the icon is shown, cuts the tooltip
// to the notification area's limit and lets one popup menu open at a time.
#pragma once

#include <cstddef>

#include <wx/bmpbndl.h>
#include <wx/taskbar.h>

// The seven mouse events of the icon, under the names the tray code uses.
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_MOVE;
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_LEFT_DOWN;
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_LEFT_UP;
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_RIGHT_DOWN;
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_RIGHT_UP;
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_LEFT_DCLICK;
extern const wxEventTypeTag<wxTaskBarIconEvent> myEVT_TASKBAR_RIGHT_DCLICK;

class myTaskBarIcon : public wxTaskBarIcon {
 public:
  // The longest tooltip shown, in characters.
  static constexpr size_t kTooltipLimit = 63;

  // Removes the icon from the notification area.
  ~myTaskBarIcon() override;

  // Shows `icon` with `tooltip` cut to kTooltipLimit; adds the icon when it is
  // not shown yet. False, with nothing changed, for an empty icon or when the
  // notification area refuses it (the next call tries again).
  bool SetIcon(const wxBitmapBundle& icon, const wxString& tooltip = wxString()) override;

  // Takes the icon out of the notification area; false when it was not there.
  bool RemoveIcon() override;

  // Shows `menu` at the icon and returns when it closes; false at once while
  // another popup menu of the program is open.
  bool PopupMenu(wxMenu* menu) override;

  bool IsAdded() const { return added_; }
  const wxBitmapBundle& Icon() const { return icon_; }
  const wxString& Tooltip() const { return tooltip_; }

 private:
  bool added_ = false;
  wxBitmapBundle icon_;
  wxString tooltip_;
};
