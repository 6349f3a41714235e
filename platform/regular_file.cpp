#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace ferrolan {

namespace {

// Opens, checks and reads the file, handing each chunk to `take`, which
// answers false when the chunk does not fit.
template <typename Take>
FileRead readChunks(const std::string& path, size_t limit, Take&& take, std::span<char> chunk) {
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
    for (;;) {
      const ssize_t n = ::read(fd, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result = FileRead::Missing;
        break;
      }
      if (n == 0) break;
      if (!take(chunk.data(), static_cast<size_t>(n))) {  // grew while we read, or no more wanted
        result = FileRead::TooBig;
        break;
      }
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

FileRead readRegularFile(const std::string& path, size_t limit, std::string& out) {
  out.clear();
  std::string data;
  char buffer[4096];
  const FileRead result = readChunks(path, limit, [&](const char* chunk, size_t n) {
    if (data.size() + n > limit) return false;
    if (data.empty()) data.reserve(limit < 65536 ? limit : 65536);
    data.append(chunk, n);
    return true;
  }, buffer);
  if (result == FileRead::Ok) out = std::move(data);
  return result;
}

FileRead readRegularFile(const std::string& path, std::span<uint8_t> into, size_t& length) {
  size_t filled = 0;
  char buffer[4096];
  const FileRead result = readChunks(path, into.size(), [&](const char* chunk, size_t n) {
    if (into.size() - filled < n) return false;
    std::memcpy(into.data() + filled, chunk, n);
    filled += n;
    return true;
  }, buffer);
  length = result == FileRead::Ok ? filled : 0;
  return result;
}

FileRead readRegularFileInPieces(const std::string& path, size_t limit, size_t chunk,
                                 const std::function<bool(std::span<const uint8_t>)>& take) {
  std::vector<char> buffer(chunk == 0 ? 1 : chunk);
  bool stopped = false;
  const FileRead result = readChunks(path, limit, [&](const char* piece, size_t n) {
    stopped = !take(std::span(reinterpret_cast<const uint8_t*>(piece), n));
    return !stopped;
  }, buffer);
  return stopped && result == FileRead::TooBig ? FileRead::Ok : result;
}

}  // namespace ferrolan
