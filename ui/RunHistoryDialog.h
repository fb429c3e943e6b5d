// "History": the recorded runs of one job, newest first, one line each (when
// it started and ended, full or incremental, what started it, the outcome,
// files, bytes, archives and the reason of a failure), in a resizable dialog
// that Escape or Close ends.
#pragma once

#include <vector>

#include <wx/dialog.h>

#include "engine/RunRecord.h"

class RunHistoryDialog : public wxDialog {
 public:
  RunHistoryDialog(wxWindow* parent, const wxString& jobTitle,
                   const std::vector<RunRecord>& records);

  // The line shown for `record`.
  static wxString Line(const RunRecord& record);
};
