#include "platform/file_lock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ferrolan {

std::unique_ptr<FileLock> FileLock::open(const std::string& path, std::string& error) {
  // Read-only is enough for flock, and lets a lock file that someone made
  // read-only still be used.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<FileLock>(new FileLock(fd));
}

FileLock::~FileLock() { ::close(fd_); }

bool FileLock::lock(int operation) {
  int r;
  do r = ::flock(fd_, operation);
  while (r != 0 && errno == EINTR);
  return r == 0;
}

bool FileLock::tryExclusive() { return lock(LOCK_EX | LOCK_NB); }
bool FileLock::shared() { return lock(LOCK_SH); }
bool FileLock::tryShared() { return lock(LOCK_SH | LOCK_NB); }
void FileLock::unlock() { lock(LOCK_UN); }

}  // namespace ferrolan
