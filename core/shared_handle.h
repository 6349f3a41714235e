#pragma once
// A process-wide handle (port, thread) that several threads read and one
// replaces; "invalid" is empty.

#include <memory>
#include <mutex>
#include <utility>

namespace ferrolan {

template <typename T>
class SharedHandle {
 public:
  std::shared_ptr<T> get() const {
    std::lock_guard l(m_);
    return ptr_;
  }
  void set(std::shared_ptr<T> p) {
    std::lock_guard l(m_);
    ptr_ = std::move(p);
  }
  // Empties the handle and hands back what it held.
  std::shared_ptr<T> take() {
    std::lock_guard l(m_);
    return std::exchange(ptr_, nullptr);
  }
  void reset() { take(); }
  bool valid() const {
    std::lock_guard l(m_);
    return ptr_ != nullptr;
  }

 private:
  mutable std::mutex m_;
  std::shared_ptr<T> ptr_;
};

}  // namespace ferrolan
