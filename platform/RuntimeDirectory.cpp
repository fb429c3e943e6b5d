#include "platform/RuntimeDirectory.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Env.h"

namespace platform {
namespace {

// Empty when `path` is a directory (not a link) owned by this user with no
// permission for group or others; otherwise why not.
std::string WhyNotPrivate(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return ErrorText(errno);
  if (!S_ISDIR(st.st_mode)) return "not a directory";
  if (st.st_uid != ::geteuid()) return "owned by another user";
  if ((st.st_mode & 077) != 0) return "open to other users";
  return std::string();
}

}  // namespace

std::string PrivateRuntimeDirectory(std::string* error) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && WhyNotPrivate(runtime).empty()) return runtime;
  const std::string own = Env::Current()->TempDirectory() + "/arkivault-" +
                          std::to_string(static_cast<unsigned long>(::geteuid()));
  if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error != nullptr) *error = own + ": " + ErrorText(errno);
    return std::string();
  }
  const std::string why = WhyNotPrivate(own);
  if (why.empty()) return own;
  if (error != nullptr) *error = own + ": " + why;
  return std::string();
}

size_t MaxSocketPathLength() { return sizeof(sockaddr_un::sun_path) - 1; }

}  // namespace platform
