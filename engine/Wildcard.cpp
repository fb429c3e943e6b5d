#include "engine/Wildcard.h"

#include <wx/filefn.h>

#include "engine/PathUtil.h"

namespace {

// The pattern in the form wxMatchWild expects: lowercased, and with '\' doubled
// because wxMatchWild treats it as an escape while it is a name character here.
wxString PreparePattern(const std::string& pattern) {
  wxString prepared = FileSystemText(pattern).Lower();
  prepared.Replace("\\", "\\\\");
  return prepared;
}

bool MatchPrepared(const wxString& pattern, const wxString& lowerName) {
  return wxMatchWild(pattern, lowerName, false);
}

}  // namespace

bool MatchWildcard(const std::string& pattern, const std::string& name) {
  return MatchPrepared(PreparePattern(pattern), FileSystemText(name).Lower());
}

WildcardList::WildcardList(const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    if (pattern == "*") matchesEverything_ = true;
    patterns_.push_back(PreparePattern(pattern));
  }
}

bool WildcardList::MatchesAny(const std::string& name) const {
  if (patterns_.empty()) return false;
  if (matchesEverything_ && !name.empty()) return true;
  const wxString lowerName = FileSystemText(name).Lower();
  for (const wxString& pattern : patterns_) {
    if (MatchPrepared(pattern, lowerName)) return true;
  }
  return false;
}
