#pragma once
// Plugs the control subsystem into the process: the command thread that
// the Info and Sky pages start, and the raw log the receive thread feeds.

namespace ferrolan {

struct Context;

void registerCommandThread(Context& ctx);
// The raw log: fed by the receive thread, closed by the shutdown.
void registerDataLog(Context& ctx);

}  // namespace ferrolan
