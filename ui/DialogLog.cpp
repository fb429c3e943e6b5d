#include "ui/DialogLog.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>

void DialogLog::DoShowSingleLogMessage(const wxString& message, const wxString& title,
                                       int style) {
  wxGenericMessageDialog box(wxTheApp != nullptr ? wxTheApp->GetTopWindow() : nullptr, message,
                             title, style);
  box.ShowModal();
}

void DialogLog::DoShowMultipleLogMessages(const wxArrayString& messages, const wxArrayInt&,
                                          const wxArrayLong&, const wxString& title, int style) {
  wxString text;
  for (const wxString& message : messages) {
    if (!text.empty()) text += "\n\n";
    text += message;
  }
  DoShowSingleLogMessage(text, title, style);
}
