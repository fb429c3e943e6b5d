// Collects the error messages logged through the toolkit while it is alive.
#pragma once

#include <string>
#include <vector>

#include <wx/log.h>

class LogCatcher : public wxLog {
 public:
  LogCatcher() : previous_(wxLog::SetActiveTarget(this)) {}
  ~LogCatcher() override { wxLog::SetActiveTarget(previous_); }

  const std::vector<std::string>& errors() const { return errors_; }

 protected:
  void DoLogTextAtLevel(wxLogLevel level, const wxString& text) override {
    if (level == wxLOG_Error) errors_.push_back(text.ToStdString(wxConvUTF8));
  }

 private:
  wxLog* previous_;
  std::vector<std::string> errors_;
};
