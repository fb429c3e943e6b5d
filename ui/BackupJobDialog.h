// The modal dialog that edits every setting of one backup job: title, names,
// directories, patterns, schedules and options, on the notebook pages of the
// dialog resource "ID_JOBSETUP". The job is written only when OK is pressed
// and the input passes Validate; every change made marks the job modified.
// The dialog never saves: the main window does, after OK.
#pragma once

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "jobs/BackupJob.h"

class AppCommands;

class BackupJobDialog : public wxDialog {
 public:
  // `job` and `commands` (for the Help button) are not owned.
  BackupJobDialog(BackupJob& job, AppCommands& commands);

  // Loads the layout with `parent` and shows the job's values; the resource
  // decides title, size and style. Always true.
  bool Create(wxWindow* parent);

  // Refuses, with a message box, a job without destination, without source
  // root and archive directories, or without include patterns.
  bool Validate() override;

 private:
  // Which of the lists below a command or event is about.
  enum ListKind { kArchives, kExcludes, kDirIncludes, kDirExcludes, kFileIncludes, kFileExcludes,
                  kListCount };

  // Changes of controls whose own state cannot tell, in their table order.
  struct ChangeMarks {
    bool suffix = false;
    bool sourceRoot = false;
    bool destination = false;
    bool lists[kListCount] = {};
    bool compression = false;
    bool priority = false;
  };

  void LoadLayout(wxWindow* parent);
  void FindControls();
  void FillTimeChoices();
  void ShowJob();
  void FitListColumns();
  void BindEvents();
  void TakeValues();
  void ShowRetentionTexts();
  void TakeSchedule(wxComboBox* time, wxCheckBox* const days[7], bool full);

  void OnOk(wxCommandEvent& event);
  void OnChooseRoot(wxCommandEvent& event, bool source);
  void OnNewDirectory(ListKind kind);
  void OnNewPattern(ListKind kind);
  void OnDeleteRow(ListKind kind);
  void OnRowActivated(wxListEvent& event, ListKind kind);
  void OnPatternEditEnd(wxListEvent& event, ListKind kind);
  void OnListSize(wxSizeEvent& event);

  // Asks for a directory below the source root, starting at `start`; the
  // entry for the list (relative to the root), false when cancelled or refused.
  // The source root as typed (not the job's stored root).
  wxString SourceText() const;
  bool ChooseArchiveEntry(ListKind kind, const wxString& start, wxString* entry);

  BackupJob& job_;
  AppCommands& commands_;
  ChangeMarks marks_;

  wxTextCtrl* title_ = nullptr;
  wxTextCtrl* archiveName_ = nullptr;
  wxChoice* suffix_ = nullptr;
  wxTextCtrl* description_ = nullptr;
  wxCheckBox* active_ = nullptr;
  wxTextCtrl* sourceRoot_ = nullptr;
  wxTextCtrl* destination_ = nullptr;
  wxListCtrl* lists_[kListCount] = {};
  wxCheckBox* excludeHiddenDirs_ = nullptr;
  wxCheckBox* excludeHiddenFiles_ = nullptr;
  wxCheckBox* fullDays_[7] = {};
  wxComboBox* fullTime_ = nullptr;
  wxCheckBox* incrementalDays_[7] = {};
  wxComboBox* incrementalTime_ = nullptr;
  wxChoice* compression_ = nullptr;
  wxCheckBox* noOverwrite_ = nullptr;
  wxCheckBox* individual_ = nullptr;
  wxCheckBox* noEmpty_ = nullptr;
  wxCheckBox* catchUp_ = nullptr;
  // The archive name is changed along with the title.
  bool nameFollowsTitle_ = false;
  wxChoice* priority_ = nullptr;
  wxSpinCtrl* keepOld_ = nullptr;
  wxSpinCtrl* keepDays_ = nullptr;
  wxStaticText* keepOldText_ = nullptr;
  wxStaticText* keepDaysText_ = nullptr;
};
