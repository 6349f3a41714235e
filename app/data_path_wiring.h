#pragma once
// Plugs the data path into the process: the receive and display threads
// that connectReceiver starts, and the raw log they feed.

namespace ferrolan {

struct Context;

void registerDataPath(Context& ctx);
// The raw log: fed by the receive thread, closed by the shutdown.
void registerDataLog(Context& ctx);

}  // namespace ferrolan
