#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int InstanceLock::TryAcquire(const std::string& path, std::unique_ptr<InstanceLock>* lock) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return errno;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EAGAIN ? EWOULDBLOCK : errno;
    ::close(fd);
    return error;
  }
  lock->reset(new InstanceLock(fd));
  return 0;
}

InstanceLock::~InstanceLock() { ::close(fd_); }

}  // namespace platform
