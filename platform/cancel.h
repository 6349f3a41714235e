#pragma once
// A one-way stop signal that a blocking port read or event wait can watch,
// so that stopping a worker wakes it at once instead of after a time-out.

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace ferrolan {

class CancelToken {
 public:
  CancelToken();
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }
  // Readable once cancelled; for poll() inside the platform layer only.
  int waitHandle() const { return fds_[0]; }
  // Called once on cancel (or at once if already cancelled); returns an id.
  int addListener(std::function<void()> fn);
  void removeListener(int id);

 private:
  std::atomic<bool> cancelled_{false};
  int fds_[2] = {-1, -1};
  std::mutex mutex_;
  int nextId_ = 1;
  std::vector<std::pair<int, std::function<void()>>> listeners_;
};

}  // namespace ferrolan
