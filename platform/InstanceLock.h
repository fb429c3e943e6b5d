// An advisory lock on a file, held while the object lives. The system drops it
// when the process ends in any way (kill -9 included), so a lock can never be
// left behind; children the program starts do not inherit it.
#pragma once

#include <memory>
#include <string>

namespace platform {

class InstanceLock {
 public:
  // Locks `path` (created with mode 0600 when missing) without waiting.
  // Returns 0 and the lock in `*lock`; EWOULDBLOCK while another process
  // holds it; another errno value when the file cannot be opened or locked.
  static int TryAcquire(const std::string& path, std::unique_ptr<InstanceLock>* lock);

  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}

  int fd_;
};

}  // namespace platform
