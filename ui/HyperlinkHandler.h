// Makes a label a link: installed as the label's event handler, it opens its
// target (a web page or a "mailto:" address) in the user's default program on
// a left click, and says so in a message box when that cannot be done.
#pragma once

#include <wx/event.h>
#include <wx/string.h>

class HyperlinkHandler : public wxEvtHandler {
 public:
  HyperlinkHandler();

  void SetTarget(const wxString& target) { target_ = target; }
  const wxString& Target() const { return target_; }

 private:
  void OnLinkClicked(wxMouseEvent& event);

  wxString target_;
};
