// The about box: the layout "ID_DIALOG" with two labels made links, one to the
// product web page ("ID_HTMLLINK") and one that starts a mail to support
// ("ID_EMAILLINK").
#pragma once

#include <wx/dialog.h>

#include "ui/HyperlinkHandler.h"

class AboutDialog : public wxDialog {
 public:
  // The product web page and the support address the links open.
  static const char kWebPage[];
  static const char kSupportAddress[];

  explicit AboutDialog(wxWindow* parent);
  // Gives each label its own event handler back before the links' handlers go.
  ~AboutDialog() override;

 private:
  void MakeLink(wxWindow* label, HyperlinkHandler& handler, const wxString& target);

  wxWindow* webLink_ = nullptr;
  wxWindow* emailLink_ = nullptr;
  HyperlinkHandler webHandler_;
  HyperlinkHandler emailHandler_;
};
