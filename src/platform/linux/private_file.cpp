#include "common/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessary {

bool writePrivateFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return false;
  bool ok = true;
  struct stat status {};
  // Only regular files: narrowing a device such as /dev/null would change it
  // for everybody.
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  }
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) ok = false;
    else done += static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace tessary
