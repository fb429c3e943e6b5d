// Names in archives written without the UTF-8 flag are in code page 437.
#pragma once

#include <string>

// The UTF-8 form of a code page 437 byte string.
std::string Cp437ToUtf8(const std::string& text);
