#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ferrolan {

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path, CreateMode mode, OpenResult& result) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY;
  if (mode == CreateMode::Truncate) flags |= O_TRUNC;
  if (mode == CreateMode::CreateNew) flags |= O_EXCL;
  // An existing log is extended, never overwritten from its start.
  if (mode == CreateMode::OpenAlways) flags |= O_APPEND;
  if (path.empty()) {  // a name that would leave the device root
    result = OpenResult::Failed;
    return nullptr;
  }
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    result = errno == EEXIST && mode == CreateMode::CreateNew ? OpenResult::Exists : OpenResult::Failed;
    return nullptr;
  }
  result = OpenResult::Ok;
  return std::unique_ptr<OutputFile>(new OutputFile(fd));
}

OutputFile::~OutputFile() { ::close(fd_); }

bool OutputFile::write(const void* data, size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace ferrolan
