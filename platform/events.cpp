#include "platform/events.h"

#include <chrono>

namespace ferrolan {

void Event::set() {
  {
    std::lock_guard l(reg_.mutex_);
    signalled_ = true;
  }
  reg_.cv_.notify_all();
}

bool Event::tryConsume() {
  std::lock_guard l(reg_.mutex_);
  const bool was = signalled_;
  signalled_ = false;
  return was;
}

EventHandle EventRegistry::create(const std::string& name) {
  std::lock_guard l(mutex_);
  auto& slot = byName_[name];
  if (auto existing = slot.lock()) return existing;
  EventHandle e(new Event(*this, name));
  slot = e;
  return e;
}

int EventRegistry::waitForAny(std::span<const EventHandle> events, uint32_t timeoutMs, CancelToken* cancel) {
  int listener = 0;
  if (cancel) {
    listener = cancel->addListener([this] {
      { std::lock_guard l(mutex_); }
      cv_.notify_all();
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int result = kTimeout;
  {
    std::unique_lock l(mutex_);
    for (;;) {
      if (cancel && cancel->cancelled()) {
        result = kCancelled;
        break;
      }
      bool found = false;
      for (size_t i = 0; i < events.size(); ++i) {
        if (events[i] && events[i]->signalled_) {
          events[i]->signalled_ = false;
          result = static_cast<int>(i);
          found = true;
          break;
        }
      }
      if (found) break;
      if (timeoutMs == kInfinite) {
        cv_.wait(l);
      } else if (cv_.wait_until(l, deadline) == std::cv_status::timeout) {
        // One last look: a signal may have come with the time-out.
        for (size_t i = 0; i < events.size(); ++i) {
          if (events[i] && events[i]->signalled_) {
            events[i]->signalled_ = false;
            result = static_cast<int>(i);
            break;
          }
        }
        break;
      }
    }
  }
  if (cancel && listener) cancel->removeListener(listener);
  return result;
}

EventHandle OpenEvents::open(const std::string& name) {
  std::lock_guard l(m_);
  auto& slot = open_[name];
  if (!slot) slot = reg_.create(name);
  return slot;
}

EventHandle OpenEvents::get(const std::string& name) const {
  std::lock_guard l(m_);
  auto it = open_.find(name);
  return it == open_.end() ? nullptr : it->second;
}

bool OpenEvents::close(const std::string& name) {
  std::lock_guard l(m_);
  return open_.erase(name) != 0;
}

}  // namespace ferrolan
