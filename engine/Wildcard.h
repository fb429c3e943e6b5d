// Case-insensitive wildcard matching of file and directory names: '*' matches
// any run of characters (none included), '?' exactly one, '.' and '\' are
// ordinary characters, and the whole name must match.
#pragma once

#include <string>
#include <vector>

#include <wx/string.h>

// True when `name` matches `pattern` (both UTF-8), regardless of case.
bool MatchWildcard(const std::string& pattern, const std::string& name);

// An ordered list of patterns, prepared once for matching many names.
class WildcardList {
 public:
  explicit WildcardList(const std::vector<std::string>& patterns);

  // True at the first pattern that matches `name`; false when none does,
  // including when the list is empty.
  bool MatchesAny(const std::string& name) const;

 private:
  std::vector<wxString> patterns_;  // lowercased, with '\' escaped for wxMatchWild
  bool matchesEverything_ = false;  // the list holds "*"
};
