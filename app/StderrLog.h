// The toolkit's log on stderr for a program run from a shell or cron: each
// message on a line of its own, as written, without time stamp or level
// prefix (the texts say themselves what went wrong).
#pragma once

#include <wx/log.h>

class StderrLog : public wxLogStderr {
 public:
  StderrLog();
};
