#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ferrolan {

FileRead readRegularFile(const std::string& path, size_t limit, std::string& out) {
  out.clear();
  struct stat st{};
  // Opening a FIFO blocks for a writer, and opening a device may wake it up.
  if (::stat(path.c_str(), &st) != 0) return FileRead::Missing;
  if (!S_ISREG(st.st_mode)) return FileRead::NotRegular;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return FileRead::Missing;
  FileRead result = FileRead::Ok;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = FileRead::NotRegular;  // swapped since the stat
  } else if (static_cast<unsigned long long>(st.st_size) > limit) {
    result = FileRead::TooBig;
  } else {
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char chunk[4096];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result = FileRead::Missing;
        break;
      }
      if (n == 0) break;
      if (data.size() + static_cast<size_t>(n) > limit) {  // grew while we read
        result = FileRead::TooBig;
        break;
      }
      data.append(chunk, static_cast<size_t>(n));
    }
    if (result == FileRead::Ok) out = std::move(data);
  }
  ::close(fd);
  return result;
}

}  // namespace ferrolan
