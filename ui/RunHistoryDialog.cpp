#include "ui/RunHistoryDialog.h"

#include <wx/intl.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

RunHistoryDialog::RunHistoryDialog(wxWindow* parent, const wxString& jobTitle,
                                   const std::vector<RunRecord>& records)
    : wxDialog(parent, wxID_ANY, wxString::Format(_("History of '%s'"), jobTitle),
               wxDefaultPosition, wxSize(640, 320), wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
  wxString text;
  for (auto record = records.rbegin(); record != records.rend(); ++record) {
    text += Line(*record) + "\n";
  }
  if (text.empty()) text = _("No run of this job has been recorded yet.");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new wxTextCtrl(this, wxID_ANY, text, wxDefaultPosition, wxDefaultSize,
                            wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP),
             1, wxEXPAND | wxALL, 6);
  sizer->Add(CreateButtonSizer(wxCLOSE), 0, wxEXPAND | wxALL, 6);
  SetSizer(sizer);
  SetEscapeId(wxID_CLOSE);
  SetAffirmativeId(wxID_CLOSE);
}

wxString RunHistoryDialog::Line(const RunRecord& record) {
  wxString line = wxString::Format(
      _("%s to %s  %s, %s: %s, %llu files, %llu kB, %u archives"),
      wxString::FromUTF8(RecordTime(record.start).substr(0, 16)),
      wxString::FromUTF8(RecordTime(record.end).substr(11, 5)), record.KindText(),
      record.TriggerText(), record.OutcomeText(), static_cast<unsigned long long>(record.files),
      static_cast<unsigned long long>(record.bytes / 1024), record.archives);
  if (!record.reason.empty()) line += ". " + wxString::FromUTF8(record.reason);
  return line;
}
