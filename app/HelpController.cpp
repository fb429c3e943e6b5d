#include "app/HelpController.h"

#include <wx/html/helpfrm.h>
#include <wx/notebook.h>

namespace {

// The first notebook among `window` and its descendants, or null.
wxNotebook* FindNotebook(wxWindow* window) {
  if (auto* notebook = dynamic_cast<wxNotebook*>(window)) return notebook;
  for (wxWindow* child : window->GetChildren()) {
    if (wxNotebook* notebook = FindNotebook(child)) return notebook;
  }
  return nullptr;
}

}  // namespace

// Until their first size event the pages of the frame's notebook hold their
// controls at natural size. GTK still allocates the hidden pages when the frame
// is first shown, and the index list, already filled, then gets scroll bars
// longer than the list itself (GTK complains "size >= 0"). Laid out now, the
// controls fit their page and keep that size until the pages get their own.
wxHtmlHelpFrame* HelpController::CreateHelpFrame(wxHtmlHelpData* data) {
  wxHtmlHelpFrame* frame = wxHtmlHelpController::CreateHelpFrame(data);
  if (wxNotebook* notebook = FindNotebook(frame)) {
    for (size_t page = 0; page < notebook->GetPageCount(); ++page) notebook->GetPage(page)->Layout();
  }
  return frame;
}
