#include "jobs/XmlText.h"

#include <cstdint>

namespace {

// Bytes are carried as U+F700 + byte: in UTF-8 EF, 9C + (byte >> 6), 80 + (byte & 3F).
constexpr uint32_t kByteEscapeBase = 0xF700;

void AppendByteEscape(std::string* text, unsigned char byte) {
  *text += '\xEF';
  *text += static_cast<char>(0x9C + (byte >> 6));
  *text += static_cast<char>(0x80 + (byte & 0x3F));
}

}  // namespace

std::string XmlText::XmlSafe(const std::string& text) {
  std::string safe;
  safe.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const size_t length = AllowedSequenceLength(text, at);
    if (length == 0) {
      AppendByteEscape(&safe, static_cast<unsigned char>(text[at]));
      ++at;
    } else {
      safe.append(text, at, length);
      at += length;
    }
  }
  return safe;
}

wxString XmlText::ToXml(const std::string& text) { return wxString::FromUTF8(XmlSafe(text)); }

std::string XmlText::FromXml(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    if (byte(0) == 0xEF && at + 2 < text.size() && byte(1) >= 0x9C && byte(1) <= 0x9F &&
        (byte(2) & 0xC0) == 0x80) {
      bytes += static_cast<char>(((byte(1) - 0x9C) << 6) | (byte(2) & 0x3F));
      at += 2;
    } else {
      bytes += text[at];
    }
  }
  return bytes;
}

size_t XmlText::AllowedSequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  size_t length;
  uint32_t codePoint;
  uint32_t minimum;
  if (lead < 0x80) {
    return IsXmlCharacter(lead) ? 1 : 0;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  const bool escapeRange = codePoint >= kByteEscapeBase && codePoint <= kByteEscapeBase + 0xFF;
  return codePoint >= minimum && IsXmlCharacter(codePoint) && !escapeRange ? length : 0;
}

bool XmlText::IsXmlCharacter(uint32_t codePoint) {
  return codePoint == 0x9 || codePoint == 0xA || codePoint == 0xD ||
         (codePoint >= 0x20 && codePoint <= 0xD7FF) ||
         (codePoint >= 0xE000 && codePoint <= 0xFFFD) ||
         (codePoint >= 0x10000 && codePoint <= 0x10FFFF);
}
