#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

#include <gtest/gtest.h>

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  path_ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/arkivault-test-XXXXXX";
  if (::mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
  namespace fs = std::filesystem;
  std::error_code ignored;
  // Opens every directory to its owner again (each before it is entered), so
  // tests may leave locked entries behind; no process is started for it.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  std::error_code error;
  for (fs::recursive_directory_iterator it(path_, error), end; !error && it != end;
       it.increment(error)) {
    if (it->symlink_status(ignored).type() == fs::file_type::directory) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PathExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

int RunCommand(const std::string& command, std::string* output) {
  // Bounded: the command and everything it started end after the limit.
  constexpr int kLimitSeconds = 300;
  const std::string bounded = "timeout -k 10 " + std::to_string(kLimitSeconds) + " sh -c " +
                              ShellQuote(command + " 2>&1");
  const auto start = std::chrono::steady_clock::now();
  FILE* pipe = ::popen(bounded.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if ((code == 124 || code == 137) &&
      std::chrono::steady_clock::now() - start >= std::chrono::seconds(kLimitSeconds)) {
    text += "\n[not ended within " + std::to_string(kLimitSeconds) + " s: " + command + "]\n";
    ADD_FAILURE() << "command not ended within " << kLimitSeconds << " s: " << command;
  }
  if (output != nullptr) *output = text;
  return code;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace testing_support
