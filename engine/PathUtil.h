// Path helpers of the backup engine. Paths inside a job and inside the engine
// use '/'; they are converted to the platform's separator only where they reach
// the file system, the ZIP writer or a comparison.
#pragma once

#include <string>

#include <wx/string.h>

// `a` and `b` joined by one '/': `b` when `a` is empty; no '/' is added when `a`
// already ends with one. Only '/' counts as a separator ('\' is a name character).
std::string JoinPath(const std::string& a, const std::string& b);

// The part of `path` before its last '/': empty when it has none.
std::string ParentOf(const std::string& path);

// `path` with every '/' replaced by the platform's separator. On Linux the
// separator is '/', so the path comes back unchanged.
std::string ToNativeSeparators(const std::string& path);

// A file-system string (UTF-8 as a rule) as a wxString for matching and
// messages. A name that is not valid UTF-8, which Linux allows, is taken byte
// by byte instead of becoming empty.
wxString FileSystemText(const std::string& text);

// A path's bytes as text and back, losslessly: bytes that are not UTF-8 (a
// Linux file name may hold any) are carried as private-use characters by
// PathText and restored by PathBytes. For paths that arrive as text, such as
// command-line arguments.
wxString PathText(const std::string& bytes);
std::string PathBytes(const wxString& text);
