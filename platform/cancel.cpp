#include "platform/cancel.h"

#include <fcntl.h>
#include <unistd.h>

namespace ferrolan {

CancelToken::CancelToken() {
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
}

CancelToken::~CancelToken() {
  for (int fd : fds_)
    if (fd >= 0) ::close(fd);
}

void CancelToken::cancel() {
  std::vector<std::function<void()>> toCall;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
    if (fds_[1] >= 0) {
      const char b = 1;
      [[maybe_unused]] ssize_t n = ::write(fds_[1], &b, 1);
    }
    for (auto& l : listeners_) toCall.push_back(l.second);
  }
  for (auto& fn : toCall) fn();
}

int CancelToken::addListener(std::function<void()> fn) {
  std::unique_lock lock(mutex_);
  if (cancelled()) {
    lock.unlock();
    fn();
    return 0;
  }
  int id = nextId_++;
  listeners_.emplace_back(id, std::move(fn));
  return id;
}

void CancelToken::removeListener(int id) {
  std::lock_guard lock(mutex_);
  std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

}  // namespace ferrolan
