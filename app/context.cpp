#include "app/context.h"

#include "core/text.h"
#include "platform/memory_status.h"

namespace ferrolan {

Context::Context(Clock& c, PortOpener& p, UiModel& u, std::string r)
    : Context(c, p, u, r, (r.empty() ? std::string(".") : r) + "/registry.reg") {}

Context::Context(Clock& c, PortOpener& p, UiModel& u, std::string r, std::string registryPath)
    : clock(c), ports(p), ui(u), root(r.empty() ? std::string(".") : std::move(r)), registry(std::move(registryPath)) {
  app.availableMemory = availablePhysicalMemory;
}

int reportMissingEntries(Context& ctx) {
  struct Entry {
    const char* name;
    bool registered;
  };
  const Entry entries[] = {
      {"command thread", static_cast<bool>(ctx.hooks.commandThread)},
      {"receive thread", static_cast<bool>(ctx.session.receiveEntry)},
      {"display thread", static_cast<bool>(ctx.session.displayEntry)},
      {"satellite display clearing", static_cast<bool>(ctx.session.clearSatelliteDisplay)},
      {"log closing at exit", static_cast<bool>(ctx.hooks.closeLogAtExit)},
      {"driver handles closing", static_cast<bool>(ctx.hooks.closeDriverHandles)},
  };
  int missing = 0;
  for (const Entry& e : entries) {
    if (e.registered) continue;
    ctx.textLog.append(format("Not in this build: %s", e.name));
    ++missing;
  }
  return missing;
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
