// The words for a ZIP writer error, which carries only a code and a file.
#pragma once

#include <string>

#include <wx/string.h>

class ZipException;

// Why the writer failed: the operating system's text for an errno code ("No
// space left on device"), else the writer's own reason.
wxString ZipErrorReason(const ZipException& error);

// Logs `error` as an error of the archive at `archivePath`, naming the file
// concerned and the reason. A cancel is not an error and is not logged.
void LogArchiveError(const ZipException& error, const std::string& archivePath);
