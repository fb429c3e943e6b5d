// Conversion of the job's UTF-8 strings to the strings the XML library writes.
#pragma once

#include <cstdint>
#include <string>

#include <wx/string.h>

class XmlText {
 public:
  // `text` with every byte that XML 1.0 cannot hold as part of a character
  // (invalid UTF-8, control characters other than tab, line feed and
  // carriage return) written as the private-use character U+F700 plus the
  // byte, and so is each byte of a character that is itself in U+F700 to
  // U+F7FF. Other text comes back unchanged; FromXml restores every byte.
  static std::string XmlSafe(const std::string& text);
  // XmlSafe(text) as the XML library's string; the library escapes markup.
  static wxString ToXml(const std::string& text);
  // The bytes XmlSafe was given: each U+F700 to U+F7FF becomes its byte.
  static std::string FromXml(const std::string& text);

 private:
  // Length of the valid UTF-8 sequence at `text[at]` that XML allows and
  // XmlSafe keeps, or 0.
  static size_t AllowedSequenceLength(const std::string& text, size_t at);
  static bool IsXmlCharacter(uint32_t codePoint);
};
