// Helpers of the backup run tests: jobs and their definition files, source
// trees, what the archives of a run hold, and the toolkit set-up that threads
// and the log need.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <wx/log.h>

#include "jobs/BackupJob.h"
#include "tests/support/ExternalZip.h"
#include "tests/support/TempDir.h"

namespace run_test {

// A new job named "Docs" backing up `source` into `target`: every file and
// directory selected, no suffix, existing archives replaced.
BackupJob MakeJob(const std::string& source, const std::string& target);

// The job as a definition file (root "Arkivault", one "BackupDef").
std::string DefinitionXml(const BackupJob& job);

// Every ".zip" file below `directory`, as paths relative to it.
std::set<std::string> ZipFilesBelow(const std::string& directory);

// The stored names of an archive, read by an outside reader.
std::set<std::string> EntryNames(const std::string& archivePath);

// The stored names and contents of an archive's file entries.
std::map<std::string, std::string> EntryContents(const std::string& archivePath);

// The file at `path` carries the archive attribute (changed since it was stored).
bool HasArchiveBit(const std::string& path);

// `size` bytes that deflate hardly shrinks.
std::string RandomBytes(size_t size, unsigned seed);

// Sets the modification time of `path` to `seconds` past its current one.
void Touch(const std::string& path, int seconds);

// Collects what is logged while it is alive.
class LogCapture : public wxLog {
 public:
  LogCapture();
  ~LogCapture() override;

  // "E:" or "M:" (error or message level) followed by the text, one per entry.
  std::vector<std::string> lines;

 protected:
  void DoLogRecord(wxLogLevel level, const wxString& message,
                   const wxLogRecordInfo& info) override;

 private:
  wxLog* previous_;
};

}  // namespace run_test
