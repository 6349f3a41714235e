#include "platform/port_handle.h"

#include <utility>

namespace ferrolan {

std::shared_ptr<Port> PortHandle::get() const {
  std::lock_guard l(m_);
  return port_;
}

void PortHandle::set(std::shared_ptr<Port> p) {
  std::shared_ptr<Port> old;
  {
    std::lock_guard l(m_);
    if (port_ == p) return;
    old = std::exchange(port_, std::move(p));
  }
  // Outside the lock: a close waits for calls in progress on the old port.
  if (old) old->close();
}

std::shared_ptr<Port> PortHandle::take() {
  std::lock_guard l(m_);
  return std::exchange(port_, nullptr);
}

void PortHandle::reset() {
  if (auto old = take()) old->close();
}

bool PortHandle::valid() const {
  std::lock_guard l(m_);
  return port_ != nullptr;
}

}  // namespace ferrolan
