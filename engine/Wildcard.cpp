#include "engine/Wildcard.h"

#include <wx/filefn.h>

namespace {

// `text` as a wxString. Names that are not valid UTF-8 (possible on Linux) are
// taken byte by byte, so they still match patterns instead of becoming empty.
wxString ToWxString(const std::string& text) {
  wxString converted = wxString::FromUTF8(text.data(), text.size());
  if (converted.empty() && !text.empty()) converted = wxString::From8BitData(text.data(), text.size());
  return converted;
}

// The pattern in the form wxMatchWild expects: lowercased, and with '\' doubled
// because wxMatchWild treats it as an escape while it is a name character here.
wxString PreparePattern(const std::string& pattern) {
  wxString prepared = ToWxString(pattern).Lower();
  prepared.Replace("\\", "\\\\");
  return prepared;
}

bool MatchPrepared(const wxString& pattern, const wxString& lowerName) {
  return wxMatchWild(pattern, lowerName, false);
}

}  // namespace

bool MatchWildcard(const std::string& pattern, const std::string& name) {
  return MatchPrepared(PreparePattern(pattern), ToWxString(name).Lower());
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
  const wxString lowerName = ToWxString(name).Lower();
  for (const wxString& pattern : patterns_) {
    if (MatchPrepared(pattern, lowerName)) return true;
  }
  return false;
}
