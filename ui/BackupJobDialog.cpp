#include "ui/BackupJobDialog.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/xrc/xmlres.h>

#include "engine/PathUtil.h"
#include "ui/AppCommands.h"
#include "ui/UserPrompts.h"

namespace {

// Per list, in ListKind order: the list, its add tool and its delete tool.
const char* const kListNames[] = {"ID_ARCHIVES", "ID_EXCLUDE",  "ID_DIRINCL",
                                  "ID_DIREXCL",  "ID_FILEINCL", "ID_FILEEXCL"};
const char* const kNewTools[] = {"ID_NEW_ARCHIVE", "ID_NEW_EXCLUDE", "ID_NEW_DIRINC",
                                 "ID_NEW_DIREXC",  "ID_NEW_FILEINC", "ID_NEW_FILEEXC"};
const char* const kDeleteTools[] = {"ID_DELETE_ARCHIVE", "ID_DELETE_EXCLUDE", "ID_DELETE_DIRINC",
                                    "ID_DELETE_DIREXC",  "ID_DELETE_FILEINC", "ID_DELETE_FILEEXC"};
const char* const kDays[] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
// Compression choice entry shown for the default level (-1).
const int kDefaultLevelEntry = 6;
// Gap between a list's single column and its border.
const int kColumnMargin = 4;

int Id(const wxString& name) { return wxXmlResource::GetXRCID(name); }

wxString FromUtf8(const std::string& text) { return wxString::FromUTF8(text); }

wxArrayString Rows(const wxListCtrl& list) {
  wxArrayString rows;
  for (long row = 0; row < list.GetItemCount(); ++row) rows.push_back(list.GetItemText(row));
  return rows;
}

BackupJob::StringList ToStrings(const wxArrayString& rows) {
  BackupJob::StringList strings;
  for (const wxString& row : rows) strings.push_back(PathBytes(row));
  return strings;
}

long SelectedRow(const wxListCtrl& list) {
  return list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}

// The entry for `chosen` relative to the source root `root` (case-sensitive,
// as Linux file names are): true with the rest after the root, one leading
// separator removed; false when `chosen` is not the root or below it.
bool RelativeToRoot(const wxString& root, const wxString& chosen, wxString* entry) {
  if (!chosen.StartsWith(root)) return false;
  wxString rest = chosen.Mid(root.length());
  if (!root.EndsWith("/") && !rest.empty() && rest[0] != '/') return false;
  if (rest.StartsWith("/")) rest.Remove(0, 1);
  *entry = rest;
  return true;
}

}  // namespace

BackupJobDialog::BackupJobDialog(BackupJob& job, AppCommands& commands)
    : job_(job), commands_(commands) {}

bool BackupJobDialog::Create(wxWindow* parent) {
  marks_ = ChangeMarks();
  LoadLayout(parent);
  FindControls();
  for (wxListCtrl* list : lists_) {
    if (list != nullptr) list->InsertColumn(0, wxString(), wxLIST_FORMAT_LEFT);
  }
  FitListColumns();
  FillTimeChoices();
  ShowJob();
  FitListColumns();
  BindEvents();
  Centre(wxBOTH);
  return true;
}

void BackupJobDialog::LoadLayout(wxWindow* parent) {
  if (wxXmlResource::Get()->LoadDialog(this, parent, "ID_JOBSETUP")) return;
  wxLogError(_("Missing wxXmlResource::Get()->Load() in OnInit()?"));
  wxDialog::Create(parent, wxID_ANY, _("Edit backup job"), wxDefaultPosition, wxDefaultSize,
                   wxCAPTION | wxSYSTEM_MENU | wxRESIZE_BORDER | wxCLOSE_BOX);
}

void BackupJobDialog::FindControls() {
  title_ = XRCCTRL(*this, "ID_JOBNAME", wxTextCtrl);
  archiveName_ = XRCCTRL(*this, "ID_FILENAME", wxTextCtrl);
  suffix_ = XRCCTRL(*this, "ID_SUFFIX", wxChoice);
  description_ = XRCCTRL(*this, "ID_DESCRIPTION", wxTextCtrl);
  active_ = XRCCTRL(*this, "ID_ACTIVE", wxCheckBox);
  sourceRoot_ = XRCCTRL(*this, "ID_SOURCE_TEXT", wxTextCtrl);
  destination_ = XRCCTRL(*this, "ID_DESTINATION_TEXT", wxTextCtrl);
  for (int kind = 0; kind < kListCount; ++kind) {
    lists_[kind] = dynamic_cast<wxListCtrl*>(FindWindow(Id(kListNames[kind])));
  }
  excludeHiddenDirs_ = XRCCTRL(*this, "ID_EXCLHIDDENDIRS", wxCheckBox);
  excludeHiddenFiles_ = XRCCTRL(*this, "ID_EXCLHIDDENFILES", wxCheckBox);
  for (int day = 0; day < 7; ++day) {
    fullDays_[day] = dynamic_cast<wxCheckBox*>(FindWindow(Id(wxString("ID_FULL") + kDays[day])));
    incrementalDays_[day] =
        dynamic_cast<wxCheckBox*>(FindWindow(Id(wxString("ID_INC") + kDays[day])));
  }
  fullTime_ = XRCCTRL(*this, "ID_FULLTIME", wxComboBox);
  incrementalTime_ = XRCCTRL(*this, "ID_INCTIME", wxComboBox);
  compression_ = XRCCTRL(*this, "ID_COMPRESSION", wxChoice);
  noOverwrite_ = XRCCTRL(*this, "ID_NOOVERWRITE", wxCheckBox);
  individual_ = XRCCTRL(*this, "ID_INDIVIDUAL", wxCheckBox);
  noEmpty_ = XRCCTRL(*this, "ID_NOEMPTY", wxCheckBox);
  catchUp_ = XRCCTRL(*this, "ID_CATCHUP", wxCheckBox);
  priority_ = XRCCTRL(*this, "ID_PRIORITY", wxChoice);
  keepOld_ = XRCCTRL(*this, "ID_KEEP_OLD", wxSpinCtrl);
  keepDays_ = XRCCTRL(*this, "ID_KEEP_DAYS", wxSpinCtrl);
  keepOldText_ = XRCCTRL(*this, "ID_KEEP_OLD_TEXT", wxStaticText);
  keepDaysText_ = XRCCTRL(*this, "ID_KEEP_DAYS_TEXT", wxStaticText);
}

// Every half hour of the day, "00:00" to "23:30".
void BackupJobDialog::FillTimeChoices() {
  for (wxComboBox* box : {fullTime_, incrementalTime_}) {
    if (box == nullptr) continue;
    for (int hour = 0; hour < 24; ++hour) {
      for (int minute : {0, 30}) box->Append(wxString::Format(_("%02i:%02i"), hour, minute));
    }
  }
}

namespace {

template <typename Control, typename Action>
void IfPresent(Control* control, Action action) {
  if (control != nullptr) action(*control);
}

void ShowRows(wxListCtrl* list, const BackupJob::StringList& rows) {
  IfPresent(list, [&](wxListCtrl& l) {
    for (const std::string& row : rows) l.InsertItem(l.GetItemCount(), PathText(row));
  });
}

void ShowText(wxTextCtrl* text, const std::string& value) {
  IfPresent(text, [&](wxTextCtrl& t) { t.ChangeValue(PathText(value)); });
}

void ShowFlag(wxCheckBox* box, bool value) {
  IfPresent(box, [&](wxCheckBox& b) { b.SetValue(value); });
}

void ShowDays(wxCheckBox* const boxes[7], uint32_t days) {
  for (int day = 0; day < 7; ++day) {
    if ((days & (1u << day)) != 0 && boxes[day] != nullptr) boxes[day]->SetValue(true);
  }
}

}  // namespace

void BackupJobDialog::ShowJob() {
  ShowText(title_, job_.BackupTitle);
  ShowText(archiveName_, job_.BackupName);
  nameFollowsTitle_ = job_.BackupName == job_.BackupTitle;
  IfPresent(suffix_, [&](wxChoice& c) { c.SetSelection(static_cast<int>(job_.Suffix)); });
  ShowText(description_, job_.Description);
  ShowFlag(active_, job_.Active);
  ShowText(sourceRoot_, job_.SourceRootPath);
  ShowText(destination_, job_.TargetPath);
  ShowRows(lists_[kArchives], job_.Archives);
  ShowRows(lists_[kExcludes], job_.ExcludePaths);
  ShowRows(lists_[kDirIncludes], job_.IncludeDirPatterns);
  ShowRows(lists_[kDirExcludes], job_.ExcludeDirPatterns);
  ShowRows(lists_[kFileIncludes], job_.IncludeFilePatterns);
  ShowRows(lists_[kFileExcludes], job_.ExcludeFilePatterns);
  ShowFlag(excludeHiddenDirs_, job_.ExcludeHiddenDirs);
  ShowFlag(excludeHiddenFiles_, job_.ExcludeHiddenFiles);
  ShowDays(fullDays_, job_.ScheduleFull.Days);
  IfPresent(fullTime_, [&](wxComboBox& c) { c.SetValue(FromUtf8(job_.FullTimeText())); });
  ShowDays(incrementalDays_, job_.ScheduleIncremental.Days);
  IfPresent(incrementalTime_,
            [&](wxComboBox& c) { c.SetValue(FromUtf8(job_.IncrementalTimeText())); });
  IfPresent(compression_, [&](wxChoice& c) {
    const int level = job_.CompressionLevel;
    c.SetSelection(level >= 0 && level <= 9 ? level : kDefaultLevelEntry);
  });
  ShowFlag(noOverwrite_, job_.NoOverwrite);
  ShowFlag(individual_, job_.SubDirIndividual);
  ShowFlag(noEmpty_, job_.NoEmpty);
  ShowFlag(catchUp_, job_.CatchUp);
  IfPresent(priority_, [&](wxChoice& c) {
    const int entry = static_cast<int>(job_.Priority);
    c.SetSelection(entry >= 0 && entry <= 2 ? entry : 0);
  });
  IfPresent(keepOld_, [&](wxSpinCtrl& c) { c.SetValue(static_cast<int>(job_.KeepOld)); });
  IfPresent(keepDays_, [&](wxSpinCtrl& c) { c.SetValue(static_cast<int>(job_.KeepDays)); });
  ShowRetentionTexts();
}

// What the two retention values mean, in words.
void BackupJobDialog::ShowRetentionTexts() {
  if (keepOld_ != nullptr && keepOldText_ != nullptr) {
    const int n = keepOld_->GetValue();
    keepOldText_->SetLabel(n == 0 ? wxString(_("Keep every old archive"))
                                  : wxString::Format(wxPLURAL("Keep the newest old archive",
                                                              "Keep the %d newest old archives", n),
                                                     n));
  }
  if (keepDays_ != nullptr && keepDaysText_ != nullptr) {
    const int n = keepDays_->GetValue();
    keepDaysText_->SetLabel(
        n == 0 ? wxString(_("Never remove old archives by age"))
               : wxString::Format(wxPLURAL("Remove old archives and dated backups after %d day",
                                           "Remove old archives and dated backups after %d days",
                                           n),
                                  n));
  }
}

void BackupJobDialog::FitListColumns() {
  for (wxListCtrl* list : lists_) {
    if (list != nullptr) list->SetColumnWidth(0, list->GetClientSize().GetWidth() - kColumnMargin);
  }
}

void BackupJobDialog::BindEvents() {
  Bind(wxEVT_BUTTON, &BackupJobDialog::OnOk, this, Id("ID_OK"));
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); }, Id("ID_CANCEL"));
  // Escape presses Cancel.
  SetEscapeId(Id("ID_CANCEL"));
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { commands_.ShowHelpPage("job-dialog.html"); },
       Id("ID_HELP"));
  Bind(wxEVT_TOOL, [this](wxCommandEvent& e) { OnChooseRoot(e, true); }, Id("ID_SOURCE_BUTTON"));
  Bind(wxEVT_TOOL, [this](wxCommandEvent& e) { OnChooseRoot(e, false); }, Id("ID_TARGET_BUTTON"));
  for (int index = 0; index < kListCount; ++index) {
    const auto kind = static_cast<ListKind>(index);
    const bool directories = kind == kArchives || kind == kExcludes;
    Bind(wxEVT_TOOL, [this, kind, directories](wxCommandEvent&) {
      directories ? OnNewDirectory(kind) : OnNewPattern(kind);
    }, Id(kNewTools[kind]));
    Bind(wxEVT_TOOL, [this, kind](wxCommandEvent&) { OnDeleteRow(kind); }, Id(kDeleteTools[kind]));
    Bind(wxEVT_UPDATE_UI, [this, kind](wxUpdateUIEvent& e) {
      e.Enable(lists_[kind] != nullptr && lists_[kind]->GetSelectedItemCount() > 0);
    }, Id(kDeleteTools[kind]));
    const int list = Id(kListNames[kind]);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, [this, kind](wxListEvent& e) { OnRowActivated(e, kind); },
         list);
    if (!directories) {
      Bind(wxEVT_LIST_END_LABEL_EDIT,
           [this, kind](wxListEvent& e) { OnPatternEditEnd(e, kind); }, list);
    }
  }
  const auto mark = [](bool* changed) {
    return [changed](wxCommandEvent& e) {
      *changed = true;
      e.Skip();
    };
  };
  // The archive name follows the title while it equals it and the user has
  // not typed into it (ChangeValue sends no text event).
  if (title_ != nullptr && archiveName_ != nullptr) {
    archiveName_->Bind(wxEVT_TEXT, [this](wxCommandEvent& e) {
      nameFollowsTitle_ = false;
      e.Skip();
    });
    title_->Bind(wxEVT_TEXT, [this](wxCommandEvent& e) {
      if (nameFollowsTitle_) {
        archiveName_->ChangeValue(title_->GetValue());
        archiveName_->MarkDirty();
      }
      e.Skip();
    });
  }
  Bind(wxEVT_CHOICE, mark(&marks_.suffix), Id("ID_SUFFIX"));
  Bind(wxEVT_CHOICE, mark(&marks_.compression), Id("ID_COMPRESSION"));
  Bind(wxEVT_CHOICE, mark(&marks_.priority), Id("ID_PRIORITY"));
  for (const char* spin : {"ID_KEEP_OLD", "ID_KEEP_DAYS"}) {
    Bind(wxEVT_SPINCTRL, [this](wxSpinEvent&) { ShowRetentionTexts(); }, Id(spin));
  }
  // The lists are resized after the dialog, by the notebook page they are on.
  for (wxListCtrl* list : lists_) {
    if (list != nullptr) list->Bind(wxEVT_SIZE, &BackupJobDialog::OnListSize, this);
  }
}

namespace {

// An empty time field is left as it always was; any other text must be a time of day.
bool IsValidTime(const wxComboBox* field) {
  return field == nullptr || field->GetValue().empty() ||
         JobSchedule::ParseTime(field->GetValue().ToStdString(wxConvUTF8)).IsValid();
}

}  // namespace

bool BackupJobDialog::Validate() {
  const auto empty = [](const wxListCtrl* list) {
    return list == nullptr || list->GetItemCount() == 0;
  };
  wxString message;
  if (destination_ == nullptr || destination_->GetValue().empty()) {
    message = _("Please specify a destination root!");
  } else if ((sourceRoot_ == nullptr || sourceRoot_->GetValue().empty()) &&
             empty(lists_[kArchives])) {
    message = _("Please specify either the source root or at least one archive directory!");
  } else if (empty(lists_[kFileIncludes])) {
    message = _("Please specify at least one include file pattern!");
  } else if (empty(lists_[kDirIncludes])) {
    message = _("Please specify at least one include directory pattern!");
  } else if (!IsValidTime(fullTime_)) {
    message = _("Please specify the full backup time as HH:MM (00:00 to 23:59)!");
  } else if (!IsValidTime(incrementalTime_)) {
    message = _("Please specify the incremental backup time as HH:MM (00:00 to 23:59)!");
  } else {
    return true;
  }
  ShowError(this, message, _("Edit Backup Job"));
  return false;
}

void BackupJobDialog::OnOk(wxCommandEvent&) {
  if (!Validate()) return;
  TakeValues();
  EndModal(wxID_OK);
}

namespace {

void TakeText(wxTextCtrl* text, bool marked, std::string& field, bool& modified) {
  if (text == nullptr || !(marked || text->IsModified())) return;
  field = PathBytes(text->GetValue());
  modified = true;
}

void TakeFlag(wxCheckBox* box, bool& field, bool& modified) {
  if (box == nullptr || box->GetValue() == field) return;
  field = box->GetValue();
  modified = true;
}

}  // namespace

void BackupJobDialog::TakeValues() {
  bool& modified = job_.Modified;
  TakeText(title_, false, job_.BackupTitle, modified);
  TakeText(archiveName_, false, job_.BackupName, modified);
  if (marks_.suffix && suffix_ != nullptr) {
    const int entry = suffix_->GetSelection();
    job_.Suffix = entry >= 1 && entry <= 3 ? static_cast<SuffixKind>(entry) : SuffixKind::None;
    modified = true;
  }
  TakeText(description_, false, job_.Description, modified);
  TakeFlag(active_, job_.Active, modified);
  TakeText(sourceRoot_, marks_.sourceRoot, job_.SourceRootPath, modified);
  TakeText(destination_, marks_.destination, job_.TargetPath, modified);
  BackupJob::StringList* fields[kListCount] = {
      &job_.Archives,           &job_.ExcludePaths,        &job_.IncludeDirPatterns,
      &job_.ExcludeDirPatterns, &job_.IncludeFilePatterns, &job_.ExcludeFilePatterns};
  for (int kind = 0; kind < kListCount; ++kind) {
    if (!marks_.lists[kind] || lists_[kind] == nullptr) continue;
    *fields[kind] = ToStrings(Rows(*lists_[kind]));
    modified = true;
  }
  TakeFlag(excludeHiddenDirs_, job_.ExcludeHiddenDirs, modified);
  TakeFlag(excludeHiddenFiles_, job_.ExcludeHiddenFiles, modified);
  TakeSchedule(fullTime_, fullDays_, true);
  TakeSchedule(incrementalTime_, incrementalDays_, false);
  if (marks_.compression && compression_ != nullptr) {
    job_.CompressionLevel = compression_->GetSelection();
    modified = true;
  }
  TakeFlag(noOverwrite_, job_.NoOverwrite, modified);
  TakeFlag(individual_, job_.SubDirIndividual, modified);
  TakeFlag(noEmpty_, job_.NoEmpty, modified);
  TakeFlag(catchUp_, job_.CatchUp, modified);
  for (const auto& [spin, value] : {std::make_pair(keepOld_, &job_.KeepOld),
                                    std::make_pair(keepDays_, &job_.KeepDays)}) {
    if (spin == nullptr || static_cast<int>(*value) == spin->GetValue()) continue;
    *value = static_cast<uint32_t>(spin->GetValue());
    modified = true;
  }
  if (marks_.priority && priority_ != nullptr) {
    const int entry = priority_->GetSelection();
    job_.Priority = entry == 0 ? JobPriority::Min
                    : entry == 2 ? JobPriority::Max : JobPriority::Default;
    modified = true;
  }
}

// The time first, then each weekday.
void BackupJobDialog::TakeSchedule(wxComboBox* time, wxCheckBox* const days[7], bool full) {
  if (time != nullptr) {
    const std::string text = time->GetValue().utf8_string();
    full ? job_.SetFullTime(text) : job_.SetIncrementalTime(text);
  }
  for (int day = 0; day < 7; ++day) {
    if (days[day] == nullptr) continue;
    const uint32_t bit = 1u << day;
    full ? job_.SetFullDay(bit, days[day]->GetValue())
         : job_.SetIncrementalDay(bit, days[day]->GetValue());
  }
}

void BackupJobDialog::OnChooseRoot(wxCommandEvent&, bool source) {
  wxTextCtrl* field = source ? sourceRoot_ : destination_;
  if (field == nullptr) return;
  const wxString message =
      source ? "Choose the source root directory.\n"
               "Archive directories will be treated relative to this directory."
             : "Choose the destination directory.\n"
               "The source root will be mapped to this directory.";
  const wxString chosen = UserPrompts::Current().ChooseDirectory(this, message, field->GetValue());
  if (chosen.empty()) return;
  field->ChangeValue(chosen);
  (source ? marks_.sourceRoot : marks_.destination) = true;
}

bool BackupJobDialog::ChooseArchiveEntry(ListKind kind, const wxString& start, wxString* entry) {
  const wxString chosen =
      UserPrompts::Current().ChooseDirectory(this, _("Choose a directory"), start);
  if (chosen.empty()) return false;
  const wxString root = SourceText();
  if (root.empty()) {
    *entry = chosen;
    return true;
  }
  if (RelativeToRoot(root, chosen, entry)) return true;
  if (kind == kArchives) {
    ShowError(this, _("Archive directories must be subdirectories of the source root!"),
              _("Select Archive Directory"));
  } else {
    ShowError(this, _("Exclude directories must be subdirectories of the source root!"),
              _("Select Exclude Directory"));
  }
  return false;
}

wxString BackupJobDialog::SourceText() const {
  return sourceRoot_ != nullptr ? sourceRoot_->GetValue() : wxString();
}

void BackupJobDialog::OnNewDirectory(ListKind kind) {
  wxListCtrl* list = lists_[kind];
  wxString entry;
  if (list == nullptr || !ChooseArchiveEntry(kind, SourceText(), &entry)) return;
  list->InsertItem(list->GetItemCount(), entry);
  marks_.lists[kind] = true;
}

void BackupJobDialog::OnNewPattern(ListKind kind) {
  wxListCtrl* list = lists_[kind];
  if (list == nullptr) return;
  const long row = list->InsertItem(list->GetItemCount(), wxString());
  list->EditLabel(row);
}

void BackupJobDialog::OnDeleteRow(ListKind kind) {
  wxListCtrl* list = lists_[kind];
  if (list == nullptr) return;
  const long row = SelectedRow(*list);
  if (row == -1) return;
  list->DeleteItem(row);
  marks_.lists[kind] = true;
}

void BackupJobDialog::OnRowActivated(wxListEvent& event, ListKind kind) {
  wxListCtrl* list = lists_[kind];
  const long row = event.GetIndex();
  if (kind != kArchives && kind != kExcludes) {
    list->EditLabel(row);
    return;
  }
  wxString start = SourceText();
  if (!start.empty() && !start.EndsWith("/")) start += "/";
  start += list->GetItemText(row);
  wxString entry;
  if (!ChooseArchiveEntry(kind, start, &entry)) return;
  list->SetItemText(row, entry);
  marks_.lists[kind] = true;
}

// A row whose edit ends empty while it is still empty (a new row left as it
// was) is removed, after the list has finished with the edit.
void BackupJobDialog::OnPatternEditEnd(wxListEvent& event, ListKind kind) {
  marks_.lists[kind] = true;
  wxListCtrl* list = lists_[kind];
  const long row = event.GetIndex();
  if (!event.GetLabel().empty() || !list->GetItemText(row).empty()) return;
  event.Veto();
  CallAfter([list, row] {
    if (row < list->GetItemCount() && list->GetItemText(row).empty()) list->DeleteItem(row);
  });
}

void BackupJobDialog::OnListSize(wxSizeEvent& event) {
  event.Skip();
  FitListColumns();
}
