#include "engine/Wildcard.h"

#include <locale>

#include <wx/filefn.h>

#include "engine/PathUtil.h"

namespace {

// A locale whose character classes know all of Unicode, so that names fold
// alike whatever locale the process runs in (batch runs often run in "C").
const std::locale& CaseFoldingLocale() {
  static const std::locale locale = [] {
    try {
      return std::locale("C.UTF-8");
    } catch (const std::runtime_error&) {
      return std::locale::classic();
    }
  }();
  return locale;
}

wxString Lowercase(const wxString& text) {
  std::wstring wide = text.ToStdWstring();
  std::use_facet<std::ctype<wchar_t>>(CaseFoldingLocale()).tolower(&wide[0], &wide[0] + wide.size());
  return wxString(wide);
}

// The pattern in the form wxMatchWild expects: lowercased, and with '\' doubled
// because wxMatchWild treats it as an escape while it is a name character here.
wxString PreparePattern(const std::string& pattern) {
  wxString prepared = Lowercase(FileSystemText(pattern));
  prepared.Replace("\\", "\\\\");
  return prepared;
}

bool MatchPrepared(const wxString& pattern, const wxString& lowerName) {
  return wxMatchWild(pattern, lowerName, false);
}

}  // namespace

bool MatchWildcard(const std::string& pattern, const std::string& name) {
  return MatchPrepared(PreparePattern(pattern), Lowercase(FileSystemText(name)));
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
  const wxString lowerName = Lowercase(FileSystemText(name));
  for (const wxString& pattern : patterns_) {
    if (MatchPrepared(pattern, lowerName)) return true;
  }
  return false;
}
