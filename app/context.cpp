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
      {"reconnect", static_cast<bool>(ctx.session.reconnectEntry)},
      {"satellite display clearing", static_cast<bool>(ctx.session.clearSatelliteDisplay)},
      {"log closing at exit", static_cast<bool>(ctx.hooks.closeLogAtExit)},
      {"driver handles closing", static_cast<bool>(ctx.hooks.closeDriverHandles)},
  };
  int missing = 0;
  auto report = [&](const char* what) {
    ctx.textLog.append(format("Not in this build: %s", what));
    ++missing;
  };
  for (const Entry& e : entries)
    if (!e.registered) report(e.name);
  // The display thread serves these events whether or not a routine shows them.
  for (const RefreshedEvent& r : kRefreshedEvents)
    if (!ctx.dataPath.refresh[static_cast<size_t>(r.event)]) report(r.what);
  if (!ctx.dataPath.streamLog.load()) report("stream logging");
  return missing;
}

}  // namespace ferrolan
