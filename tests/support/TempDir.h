// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Writes `contents` to `path`, creating missing parent directories.
void WriteFile(const std::string& path, const std::string& contents);

// The whole content of `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// True when `path` exists (any kind of file).
bool PathExists(const std::string& path);

// Runs a shell command and returns its exit status; its output goes to `output`.
// A command still running after 300 s is killed and the test fails.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Quotes `text` for a POSIX shell.
std::string ShellQuote(const std::string& text);

// `size` bytes that deflate poorly, the same for the same `seed` on every run.
inline std::string NoiseBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

}  // namespace testing_support
