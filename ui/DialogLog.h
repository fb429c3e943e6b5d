// The toolkit's log shown in message boxes, as the toolkit's own log does,
// but in boxes that are ordinary toolkit dialogs: the end of the session can
// cancel them like any other modal dialog (a native box runs a loop of its own
// that nothing outside it can end).
#pragma once

#include <wx/log.h>
#include <wx/generic/logg.h>

class DialogLog : public wxLogGui {
 protected:
  void DoShowSingleLogMessage(const wxString& message, const wxString& title,
                              int style) override;
  // Several messages logged before the box could show go into one box of the
  // same kind, newest last.
  void DoShowMultipleLogMessages(const wxArrayString& messages, const wxArrayInt& severities,
                                 const wxArrayLong& times, const wxString& title,
                                 int style) override;
};
