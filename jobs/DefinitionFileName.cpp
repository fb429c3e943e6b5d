#include "jobs/DefinitionFileName.h"

#include <cerrno>

#include "platform/Env.h"

namespace {

// Bytes kept of a title: room for " (NNNN).xml" within the usual 255-byte limit.
constexpr size_t kMaxTitleBytes = 200;
constexpr int kMaxAttempts = 10000;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Cuts `name` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutAtCharacter(const std::string& name, size_t limit) {
  if (name.size() <= limit) return name;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

}  // namespace

const char* const DefinitionFileName::kDirectory = "BackupDef";

std::string DefinitionFileName::BaseName(const std::string& title) {
  std::string name;
  for (char c : title) {
    const bool unsafe = c == '/' || IsControl(static_cast<unsigned char>(c));
    name += unsafe ? '_' : c;
  }
  for (size_t dots = name.find(".."); dots != std::string::npos; dots = name.find("..", dots)) {
    name.replace(dots, 2, "__");
  }
  name = CutAtCharacter(name, kMaxTitleBytes);
  if (name.empty()) return "_";
  if (name[0] == '.') name[0] = '_';
  return name;
}

int DefinitionFileName::ClaimFree(const std::string& title, std::string* path) {
  const std::string base = std::string(kDirectory) + "/" + BaseName(title);
  platform::Env* env = platform::Env::Current();
  int error = EEXIST;
  for (int attempt = 1; attempt <= kMaxAttempts && error == EEXIST; ++attempt) {
    *path = attempt == 1 ? base + ".xml" : base + " (" + std::to_string(attempt) + ").xml";
    error = env->CreateExclusive(*path);
  }
  return error;
}
