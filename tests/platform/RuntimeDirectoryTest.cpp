// The private runtime directory and the instance lock of the single-instance link.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/InstanceLock.h"
#include "platform/RuntimeDirectory.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::TempDir;

// Sets an environment variable for one scope (unset when `value` is null).
struct ScopedVariable {
  ScopedVariable(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) previous = old;
    Set(value);
  }
  ~ScopedVariable() { Set(previous ? previous->c_str() : nullptr); }
  void Set(const char* value) { value != nullptr ? setenv(name, value, 1) : unsetenv(name); }
  const char* name;
  std::optional<std::string> previous;
};

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(RuntimeDirectoryTest, OnlyADirectoryNobodyElseCanEnterIsUsed) {
  TempDir tmp;
  const std::string runtime = tmp / "run";
  const std::string fallback = tmp / ("arkivault-" + std::to_string(::geteuid()));
  ScopedVariable tmpdir("TMPDIR", tmp.path().c_str());
  // XDG_RUNTIME_DIR or null; the modes of tmp/run and tmp/arkivault-<uid> before the
  // call, 0 when missing; the directory expected, empty when refused.
  struct Case { const char *what, *xdg; mode_t runtimeMode, fallbackMode; std::string expected; };

  const Case cases[] = {
      {"private runtime directory", "run", 0700, 0, runtime},
      {"runtime directory open to others", "run", 0755, 0, fallback},
      {"relative runtime directory", "run-rel", 0700, 0, fallback},
      {"no runtime directory", nullptr, 0, 0, fallback},
      {"runtime directory missing", "run", 0, 0700, fallback},
      {"fallback open to others", nullptr, 0, 0777, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::rmdir(runtime.c_str());
    ::rmdir(fallback.c_str());
    if (c.runtimeMode != 0 && ::mkdir(runtime.c_str(), 0700) == 0) ::chmod(runtime.c_str(), c.runtimeMode);
    if (c.fallbackMode != 0 && ::mkdir(fallback.c_str(), 0700) == 0) ::chmod(fallback.c_str(), c.fallbackMode);
    const std::string xdg = c.xdg == nullptr ? "" : std::string(c.xdg) == "run" ? runtime : c.xdg;
    ScopedVariable variable("XDG_RUNTIME_DIR", c.xdg == nullptr ? nullptr : xdg.c_str());
    std::string why;
    EXPECT_EQ(c.expected, platform::PrivateRuntimeDirectory(&why));
    EXPECT_EQ(c.expected.empty(), !why.empty()) << why;
    if (c.expected == fallback) { EXPECT_EQ(0700u, ModeOf(fallback)); }

  }
  // A link planted where the fallback goes is refused, even to a private directory.
  ::rmdir(fallback.c_str());
  ASSERT_EQ(0, ::mkdir(runtime.c_str(), 0700));
  ASSERT_EQ(0, ::symlink(runtime.c_str(), fallback.c_str()));
  ScopedVariable variable("XDG_RUNTIME_DIR", nullptr);
  EXPECT_EQ("", platform::PrivateRuntimeDirectory());
  ::unlink(fallback.c_str());
}

TEST(InstanceLockTest, HeldOnceAndFreedWithItsOwner) {
  TempDir tmp;
  const std::string path = tmp / "ArkivaultServer.lock";
  std::unique_ptr<platform::InstanceLock> first, second;
  ASSERT_EQ(0, platform::InstanceLock::TryAcquire(path, &first));
  EXPECT_EQ(0600u, ModeOf(path));
  EXPECT_EQ(EWOULDBLOCK, platform::InstanceLock::TryAcquire(path, &second));
  EXPECT_EQ(nullptr, second);
  // A child started by the holder does not keep the lock after the holder lets go.
  // posix_spawn returns once the child has started its program.
  pid_t child = 0;
  char sleep[] = "sleep", seconds[] = "5";
  char* argv[] = {sleep, seconds, nullptr};
  ASSERT_EQ(0, ::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ));
  first.reset();
  EXPECT_EQ(0, platform::InstanceLock::TryAcquire(path, &second));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(ENOENT, platform::InstanceLock::TryAcquire(tmp / "no/such/dir", &first));
}

}  // namespace
