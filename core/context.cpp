#include "core/context.h"

namespace ferrolan {

Context::Context(Clock& c, PortOpener& p, UiModel& u, std::string r)
    : Context(c, p, u, r, (r.empty() ? std::string(".") : r) + "/registry.reg") {}

Context::Context(Clock& c, PortOpener& p, UiModel& u, std::string r, std::string registryPath)
    : clock(c), ports(p), ui(u), root(r.empty() ? std::string(".") : std::move(r)), registry(std::move(registryPath)) {}

}  // namespace ferrolan
