#include "ui/AboutDialog.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/sizer.h>
#include <wx/xrc/xmlres.h>

const char AboutDialog::kWebPage[] = "https://arkivault.org/";
const char AboutDialog::kSupportAddress[] = "support@arkivault.org";

AboutDialog::AboutDialog(wxWindow* parent) {
  SetExtraStyle(wxWS_EX_BLOCK_EVENTS);
  if (!wxXmlResource::Get()->LoadDialog(this, parent, "ID_DIALOG")) {
    wxLogError(_("Missing wxXmlResource::Get()->Load() in OnInit()?"));
    Create(parent, 10000, _("About Arkivault"), wxDefaultPosition, wxSize(400, 300),
           wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER);
  }
  webLink_ = FindWindow(XRCID("ID_HTMLLINK"));
  emailLink_ = FindWindow(XRCID("ID_EMAILLINK"));
  MakeLink(webLink_, webHandler_, kWebPage);
  MakeLink(emailLink_, emailHandler_, wxString("mailto:") + kSupportAddress);
  if (GetSizer() != nullptr) GetSizer()->SetSizeHints(this);
  Centre(wxBOTH);
}

AboutDialog::~AboutDialog() {
  for (wxWindow* label : {webLink_, emailLink_}) {
    if (label != nullptr) label->PopEventHandler();
  }
}

void AboutDialog::MakeLink(wxWindow* label, HyperlinkHandler& handler, const wxString& target) {
  handler.SetTarget(target);
  if (label == nullptr) return;
  // First in the label's chain: it takes the clicks, everything else goes on to the label.
  label->PushEventHandler(&handler);
  label->SetCursor(wxCursor(wxCURSOR_HAND));
}
