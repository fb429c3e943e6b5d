// The one way the windows ask or tell the user something: message boxes, the
// directory chooser and desktop notifications. The toolkit's own are used
// unless a test has installed answers of its own (Install), so tests run real
// windows without anybody clicking.
#pragma once

#include <wx/string.h>

class wxWindow;

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;

  // The prompts in use: the installed ones, else the toolkit's.
  static UserPrompts& Current();
  // Installs `prompts` (not owned); null puts the toolkit's back.
  static void Install(UserPrompts* prompts);

  // A modal message box; `style` is the toolkit's (wxYES_NO | wxICON_QUESTION,
  // wxOK | wxICON_ERROR, ...). Returns wxYES, wxNO, wxOK or wxCANCEL.
  virtual int Message(wxWindow* parent, const wxString& text, const wxString& caption,
                      long style) = 0;

  // The directory chooser with `message`, starting at `start`; the chosen
  // path, or empty when the user cancelled.
  virtual wxString ChooseDirectory(wxWindow* parent, const wxString& message,
                                   const wxString& start) = 0;

  // A desktop notification titled "Arkivault" with `text` and `icon`
  // (wxICON_ERROR, wxICON_WARNING). Where no notification service runs
  // nothing is shown and nothing is logged; callers write the text where the
  // window and the tray show it as well.
  virtual void Notify(const wxString& text, long icon);
};

// A Yes/No box with `icon` (wxICON_QUESTION, wxICON_EXCLAMATION); true for Yes.
bool AskYesNo(wxWindow* parent, const wxString& text, const wxString& caption, long icon);
// A desktop notification through the prompts in use.
void NotifyUser(const wxString& text, long icon);
// An OK box with the error icon.
void ShowError(wxWindow* parent, const wxString& text, const wxString& caption);
