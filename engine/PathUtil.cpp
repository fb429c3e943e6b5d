#include "engine/PathUtil.h"

#include <wx/strconv.h>

std::string JoinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (a.back() == '/') return a + b;
  return a + '/' + b;
}

std::string ParentOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ToNativeSeparators(const std::string& path) { return path; }

wxString FileSystemText(const std::string& text) {
  wxString converted = wxString::FromUTF8(text.data(), text.size());
  if (converted.empty() && !text.empty()) converted = wxString::From8BitData(text.data(), text.size());
  return converted;
}

namespace {

// UTF-8 that carries each invalid byte as a private-use character.
const wxMBConvUTF8 kLosslessUtf8(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);

}  // namespace

wxString PathText(const std::string& bytes) {
  return wxString(bytes.data(), kLosslessUtf8, bytes.size());
}

std::string PathBytes(const wxString& text) {
  const wxCharBuffer bytes = text.mb_str(kLosslessUtf8);
  return std::string(bytes.data(), bytes.length());
}
