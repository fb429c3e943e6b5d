#include "ui/UserPrompts.h"

#include <wx/dirdlg.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/notifmsg.h>

namespace {

class ToolkitPrompts : public UserPrompts {
 public:
  int Message(wxWindow* parent, const wxString& text, const wxString& caption,
              long style) override {
    // A toolkit dialog rather than the native box, so that the end of the
    // session can cancel it.
    wxGenericMessageDialog box(parent, text, caption, style | wxCENTRE);
    switch (box.ShowModal()) {
      case wxID_YES:
        return wxYES;
      case wxID_NO:
        return wxNO;
      case wxID_OK:
        return wxOK;
      default:
        return wxCANCEL;
    }
  }

  wxString ChooseDirectory(wxWindow* parent, const wxString& message,
                           const wxString& start) override {
    // The message is the chooser's title, which shows one line.
    wxString title = message;
    title.Replace("\n", " ");
    wxDirDialog chooser(parent, title, start);
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

void UserPrompts::Notify(const wxString& text, long icon) {
  // A failure (no notification service) is not logged: the log would open a
  // message box in front of the user.
  wxLogNull quiet;
  wxNotificationMessage message(_("Arkivault"), text);
  message.SetFlags(icon);
  message.Show();
}

void NotifyUser(const wxString& text, long icon) { UserPrompts::Current().Notify(text, icon); }

bool AskYesNo(wxWindow* parent, const wxString& text, const wxString& caption, long icon) {
  return UserPrompts::Current().Message(parent, text, caption, wxYES_NO | icon) == wxYES;
}

void ShowError(wxWindow* parent, const wxString& text, const wxString& caption) {
  UserPrompts::Current().Message(parent, text, caption, wxOK | wxICON_ERROR);
}
