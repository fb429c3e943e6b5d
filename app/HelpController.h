// The help book's controller: the toolkit's one, with the pages of its frame
// laid out before the frame is first shown.
#pragma once

#include <wx/html/helpctrl.h>

class HelpController : public wxHtmlHelpController {
 protected:
  wxHtmlHelpFrame* CreateHelpFrame(wxHtmlHelpData* data) override;
};
