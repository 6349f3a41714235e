#include "core/context.h"

namespace ferrolan {

Context::Context(Clock& c, PortOpener& p, UiModel& u, std::string r)
    : Context(c, p, u, r, (r.empty() ? std::string(".") : r) + "/registry.reg") {}

Context::Context(Clock& c, PortOpener& p, UiModel& u, std::string r, std::string registryPath)
    : clock(c), ports(p), ui(u), root(r.empty() ? std::string(".") : std::move(r)), registry(std::move(registryPath)) {}

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
