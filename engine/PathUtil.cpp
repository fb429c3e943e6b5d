#include "engine/PathUtil.h"

std::string JoinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (a.back() == '/') return a + b;
  return a + '/' + b;
}

std::string ToNativeSeparators(const std::string& path) { return path; }

wxString FileSystemText(const std::string& text) {
  wxString converted = wxString::FromUTF8(text.data(), text.size());
  if (converted.empty() && !text.empty()) converted = wxString::From8BitData(text.data(), text.size());
  return converted;
}
