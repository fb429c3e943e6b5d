#include "ui/UserPrompts.h"

#include <wx/dirdlg.h>
#include <wx/msgdlg.h>

namespace {

class ToolkitPrompts : public UserPrompts {
 public:
  int Message(wxWindow* parent, const wxString& text, const wxString& caption,
              long style) override {
    return wxMessageBox(text, caption, style, parent);
  }

  wxString ChooseDirectory(wxWindow* parent, const wxString& message,
                           const wxString& start) override {
    wxDirDialog chooser(parent, message, start);
    return chooser.ShowModal() == wxID_OK ? chooser.GetPath() : wxString();
  }
};

UserPrompts* installed = nullptr;

}  // namespace

UserPrompts& UserPrompts::Current() {
  static ToolkitPrompts toolkit;
  return installed != nullptr ? *installed : toolkit;
}

void UserPrompts::Install(UserPrompts* prompts) { installed = prompts; }

bool AskYesNo(wxWindow* parent, const wxString& text, const wxString& caption, long icon) {
  return UserPrompts::Current().Message(parent, text, caption, wxYES_NO | icon) == wxYES;
}

void ShowError(wxWindow* parent, const wxString& text, const wxString& caption) {
  UserPrompts::Current().Message(parent, text, caption, wxOK | wxICON_ERROR);
}
