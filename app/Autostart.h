// The opt-in entry that starts "arkivault -n" when the user logs in (XDG
// autostart), so the schedules fire without a manual start. It is a desktop
// entry in the user's configuration ($XDG_CONFIG_HOME/autostart, by default
// ~/.config/autostart), never among the job files.
#pragma once

#include <wx/string.h>

class Autostart {
 public:
  // The entry's file in `directory` (the default: the user's autostart directory).
  explicit Autostart(const wxString& directory = DefaultDirectory());

  // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when it is not set.
  static wxString DefaultDirectory();

  const wxString& Path() const { return path_; }

  // The entry exists and the desktop has not hidden it (Hidden=true).
  bool IsEnabled() const;

  // Writes the entry: `program` with "-n", started in `workingDirectory`, whose
  // BackupDef/ holds the jobs. False, with the reason logged, when it cannot be
  // written or a path cannot be put into a desktop entry (a control character).
  bool Enable(const wxString& program, const wxString& workingDirectory);

  // Removes the entry; true when none is left.
  bool Disable();

  // The entry's text for `program` and `workingDirectory`; empty when either
  // holds a control character.
  static wxString EntryText(const wxString& program, const wxString& workingDirectory);

 private:
  wxString directory_;
  wxString path_;
};
