#include "app/StderrLog.h"

namespace {

class PlainFormatter : public wxLogFormatter {
 public:
  wxString Format(wxLogLevel, const wxString& message, const wxLogRecordInfo&) const override {
    return message;
  }
};

}  // namespace

StderrLog::StderrLog() { delete SetFormatter(new PlainFormatter); }
