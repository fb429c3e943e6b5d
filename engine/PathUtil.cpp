#include "engine/PathUtil.h"

std::string JoinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (a.back() == '/') return a + b;
  return a + '/' + b;
}

std::string ToNativeSeparators(const std::string& path) { return path; }
