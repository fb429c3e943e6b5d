#include "ui/HyperlinkHandler.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "ui/UserPrompts.h"

HyperlinkHandler::HyperlinkHandler() { Bind(wxEVT_LEFT_DOWN, &HyperlinkHandler::OnLinkClicked, this); }

// The click is not passed on.
void HyperlinkHandler::OnLinkClicked(wxMouseEvent&) {
  {
    wxLogNull quiet;  // the message box below is the report
    if (wxLaunchDefaultBrowser(target_)) return;
  }
  UserPrompts::Current().Message(nullptr, _("Failed to open link!"), _("Open Link"),
                                 wxOK | wxICON_ERROR);
}
