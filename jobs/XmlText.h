// Conversion of the job's UTF-8 strings to the strings the XML library writes.
#pragma once

#include <string>

#include <wx/string.h>

class XmlText {
 public:
  // `text` with every byte sequence that XML 1.0 cannot hold replaced by
  // U+FFFD: invalid UTF-8 and control characters other than tab, line feed
  // and carriage return. Valid text comes back unchanged.
  static std::string XmlSafe(const std::string& text);
  // XmlSafe(text) as the XML library's string; the library escapes markup.
  static wxString ToXml(const std::string& text);

 private:
  // Length of the valid UTF-8 sequence at `text[at]` that XML allows, or 0.
  static size_t AllowedSequenceLength(const std::string& text, size_t at);
  static bool IsXmlCharacter(uint32_t codePoint);
};
