#include "platform/linux/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tessary {

std::string instanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') {
    return std::string(runtime) + "/" + std::string(kInstanceName);
  }
  return "/tmp/" + std::string(kInstanceName) + "." + std::to_string(getuid());
}

InstanceLock::InstanceLock(std::string path)
    : path_(path.empty() ? instanceLockPath() : std::move(path)) {}

InstanceLock::~InstanceLock() {
  // The file stays: removing it would let a third copy lock a fresh inode
  // while a second copy still holds the old one.
  if (fd_ >= 0) close(fd_);
}

InstanceGuard::Outcome InstanceLock::acquire() {
  if (fd_ >= 0) return Outcome::kFirst;
  // O_NOFOLLOW: in a shared folder a planted symlink must not redirect us.
  int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Outcome::kUnavailable;
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? Outcome::kAnotherRunning : Outcome::kUnavailable;
  }
  fd_ = fd;
  return Outcome::kFirst;
}

}  // namespace tessary
